#!/usr/bin/python3
"""Checks converted networks against independent PyTorch definitions on the same weights:
RRDBNet for x4plus (23 blocks) and x4plus-anime (6 blocks), SRVGGNetCompact for the compact
ones (x4fast, animevideov3; an ncnn pair with PReLU layers is taken for these), with
PyTorch's bicubic halving after it for the 2x animevideov3 file.

  compare_with_pytorch.py compare (--ncnn PARAM BIN | --pth PTH) INPUT.png OURS.png
      INPUT.png is a low-resolution crop, OURS.png what glintwork-cli upscale made of it
      with the converted network (PNG). Prints the maximum absolute byte difference and
      the PSNR of ours against PyTorch's result.
  compare_with_pytorch.py time (--ncnn PARAM BIN | --pth PTH) [--threads N] [--runs N]
      Seconds PyTorch takes for one 512 x 512 tile (CPU), and its peak resident memory.
  compare_with_pytorch.py write-pth --ncnn PARAM BIN OUT.pth
      Saves ncnn weights as a checkpoint laid out like the official Real-ESRGAN ones
      ("params_ema", RRDBNet key names), so the --from-pth conversion can be checked
      against the --from-ncnn one on the same weights.
  compare_with_pytorch.py random-pth --scale {1,2,4} --blocks N OUT.pth
      Saves a small network with random weights (2x and 1x networks start with a pixel
      unshuffle, like the official x2plus), to check that conversion path.

Needs python3-torch and python3-skimage.
"""

import argparse
import sys
import time

import numpy as np
import torch
import torch.nn as nn
import torch.nn.functional as F

sys.path.insert(0, __file__.rsplit("/", 1)[0])
from convert_realesrgan import NcnnWeights, parse_ncnn_param  # noqa: E402  (weight file reader)


class DenseBlock(nn.Module):
    def __init__(self, features=64, growth=32):
        super().__init__()
        self.convs = nn.ModuleList(nn.Conv2d(features + i * growth, growth if i < 4 else features, 3, 1, 1)
                                   for i in range(5))

    def forward(self, x):
        feats = [x]
        for i, conv in enumerate(self.convs):
            y = conv(torch.cat(feats, 1))
            if i < 4:
                feats.append(F.leaky_relu(y, 0.2))
        return x + 0.2 * y


class RRDB(nn.Module):
    def __init__(self):
        super().__init__()
        self.blocks = nn.Sequential(DenseBlock(), DenseBlock(), DenseBlock())

    def forward(self, x):
        return x + 0.2 * self.blocks(x)


class RRDBNet(nn.Module):
    def __init__(self, blocks=23, scale=4):
        super().__init__()
        self.unshuffle = 4 // scale
        self.conv_first = nn.Conv2d(3 * self.unshuffle * self.unshuffle, 64, 3, 1, 1)
        self.body = nn.Sequential(*[RRDB() for _ in range(blocks)])
        self.conv_body = nn.Conv2d(64, 64, 3, 1, 1)
        self.conv_up1 = nn.Conv2d(64, 64, 3, 1, 1)
        self.conv_up2 = nn.Conv2d(64, 64, 3, 1, 1)
        self.conv_hr = nn.Conv2d(64, 64, 3, 1, 1)
        self.conv_last = nn.Conv2d(64, 3, 3, 1, 1)

    def forward(self, x):
        if self.unshuffle > 1:
            x = F.pixel_unshuffle(x, self.unshuffle)
        feat = self.conv_first(x)
        feat = feat + self.conv_body(self.body(feat))
        feat = F.leaky_relu(self.conv_up1(F.interpolate(feat, scale_factor=2, mode="nearest")), 0.2)
        feat = F.leaky_relu(self.conv_up2(F.interpolate(feat, scale_factor=2, mode="nearest")), 0.2)
        return self.conv_last(F.leaky_relu(self.conv_hr(feat), 0.2))


class SRVGGNetCompact(nn.Module):
    """Real-ESRGAN's compact network: convolutions with per-channel PReLU, a pixel shuffle,
    and the input enlarged by nearest neighbour added to the result."""

    def __init__(self, convs=34, features=64, scale=4, halve=False):
        super().__init__()
        self.scale = scale
        self.halve = halve
        self.convs = nn.ModuleList([nn.Conv2d(3, features, 3, 1, 1)] +
                                   [nn.Conv2d(features, features, 3, 1, 1) for _ in range(convs - 2)] +
                                   [nn.Conv2d(features, 3 * scale * scale, 3, 1, 1)])
        self.activations = nn.ModuleList(nn.PReLU(features) for _ in range(convs - 1))

    def forward(self, x):
        y = x
        for conv, activation in zip(self.convs[:-1], self.activations):
            y = activation(conv(y))
        y = F.pixel_shuffle(self.convs[-1](y), self.scale)
        y = y + F.interpolate(x, scale_factor=self.scale, mode="nearest")
        # The 2x file ends in ncnn's bicubic resize by 0.5: PyTorch's cubic (a = -0.75) at
        # half-pixel centres, clamped at the edges, is the same operation.
        return F.interpolate(y, scale_factor=0.5, mode="bicubic", align_corners=False) if self.halve else y


def is_compact(param_path):
    return any(layer[0] == "PReLU" for layer in parse_ncnn_param(param_path))


def load_compact_ncnn_weights(net, param_path, bin_path):
    weights = NcnnWeights(bin_path)
    layers = [layer for layer in parse_ncnn_param(param_path) if layer[0] in ("Convolution", "PReLU")]
    modules = [m for pair in zip(net.convs, net.activations) for m in pair] + [net.convs[-1]]
    assert [type(m) for m in modules] == [nn.Conv2d if kind == "Convolution" else nn.PReLU
                                         for kind, *_ in layers]
    for module, (_, _, _, _, params) in zip(modules, layers):
        if isinstance(module, nn.Conv2d):
            module.weight.data = torch.from_numpy(weights.tagged(params[6]).reshape(module.weight.shape))
            module.bias.data = torch.from_numpy(weights.raw(module.out_channels))
        else:
            module.weight.data = torch.from_numpy(weights.raw(module.num_parameters))
    assert weights.finished()


def load_ncnn_network(param_path, bin_path):
    layers = parse_ncnn_param(param_path)
    convs = sum(1 for layer in layers if layer[0] == "Convolution")
    if is_compact(param_path):
        halve = layers[-1][0] == "Interp" and layers[-1][4].get(0) == 3
        net = SRVGGNetCompact(convs, halve=halve)
        load_compact_ncnn_weights(net, param_path, bin_path)
    else:
        # conv_first, 15 per block (3 dense blocks of 5), conv_body, conv_up1/2, conv_hr, conv_last
        net = RRDBNet(blocks=(convs - 6) // 15)
        load_ncnn_weights(net, param_path, bin_path)
    return net.eval()


def load_ncnn_weights(net, param_path, bin_path):
    convs = [m for m in net.modules() if isinstance(m, nn.Conv2d)]
    # Every module above is listed in the order the network runs it, as the ncnn file does.
    order = [net.conv_first] + [c for rrdb in net.body for block in rrdb.blocks for c in block.convs] + [
        net.conv_body, net.conv_up1, net.conv_up2, net.conv_hr, net.conv_last]
    assert len(order) == len(convs)
    weights = NcnnWeights(bin_path)
    layers = [layer for layer in parse_ncnn_param(param_path) if layer[0] == "Convolution"]
    assert len(layers) == len(order), (len(layers), len(order))
    for conv, (_, _, _, _, params) in zip(order, layers):
        w = weights.tagged(params[6]).reshape(conv.weight.shape)
        conv.weight.data = torch.from_numpy(w)
        conv.bias.data = torch.from_numpy(weights.raw(conv.out_channels))
    assert weights.finished()


# Key names of the official checkpoints for the modules above.
def official_state_dict(net):
    state = {}
    for name, value in net.state_dict().items():
        parts = name.split(".")
        if parts[0] == "body":  # body.B.blocks.D.convs.C.weight -> body.B.rdbD+1.convC+1.weight
            name = f"body.{parts[1]}.rdb{int(parts[3]) + 1}.conv{int(parts[5]) + 1}.{parts[6]}"
        state[name] = value.clone()
    return state


def load_official_state_dict(net, state):
    ours = {}
    for name, value in state.items():
        parts = name.split(".")
        if parts[0] == "body":
            name = f"body.{parts[1]}.blocks.{int(parts[2][3:]) - 1}.convs.{int(parts[3][4:]) - 1}.{parts[4]}"
        ours[name] = value
    net.load_state_dict(ours)


def load_network(args):
    if args.ncnn:
        return load_ncnn_network(*args.ncnn)
    checkpoint = torch.load(args.pth, map_location="cpu")
    state = checkpoint.get("params_ema", checkpoint.get("params", checkpoint))
    blocks = 1 + max(int(k.split(".")[1]) for k in state if k.startswith("body."))
    scale = {3: 4, 12: 2, 48: 1}[state["conv_first.weight"].shape[1]]
    net = RRDBNet(blocks, scale)
    load_official_state_dict(net, state)
    return net.eval()


def read_rgb(path):
    from skimage import io
    image = io.imread(path)
    return image[:, :, :3] if image.ndim == 3 else np.stack([image] * 3, axis=2)


def compare(args):
    net = load_network(args)
    image = read_rgb(args.input).astype(np.float32) / 255.0
    with torch.no_grad():
        result = net(torch.from_numpy(image.transpose(2, 0, 1)[None].copy()))[0].numpy().transpose(1, 2, 0)
    reference = np.clip(np.round(result * 255.0), 0, 255).astype(np.int32)
    mine = read_rgb(args.ours).astype(np.int32)
    if mine.shape != reference.shape:
        raise SystemExit(f"sizes differ: ours {mine.shape}, PyTorch {reference.shape}")
    diff = np.abs(reference - mine)
    mse = float(np.mean(diff.astype(np.float64) ** 2))
    psnr = float("inf") if mse == 0 else 10 * np.log10(255.0 ** 2 / mse)
    print(f"max abs diff {diff.max()}  mean abs diff {diff.mean():.4f}  PSNR {psnr:.2f} dB")


def time_tile(args):
    net = load_network(args)
    tile = torch.rand(1, 3, 512, 512, generator=torch.Generator().manual_seed(1))
    best = float("inf")
    with torch.no_grad():
        for _ in range(args.runs):
            start = time.perf_counter()
            net(tile)
            best = min(best, time.perf_counter() - start)
    # VmHWM belongs to this program alone; getrusage's maximum would carry over that of a
    # parent which started it.
    with open("/proc/self/status") as status:
        peak = next(int(line.split()[1]) for line in status if line.startswith("VmHWM:")) / 1024
    print(f"pytorch {torch.__version__} threads {torch.get_num_threads()}: "
          f"{best:.2f} s per 512x512 tile, peak resident {peak:.0f} MiB")


def write_pth(args):
    net = load_network(args)
    torch.save({"params_ema": official_state_dict(net)}, args.output)


def random_pth(args):
    torch.manual_seed(7)
    net = RRDBNet(args.blocks, args.scale).eval()
    with torch.no_grad():
        # Calibrate the last layer so the output spans mid-range values on a smooth input
        # rather than clipping to black and white, which would hide errors.
        probe = F.interpolate(torch.rand(1, 3, 8, 8), size=(64, 64), mode="bilinear")
        out = net(probe)
        gain = 0.15 / float(out.std())
        net.conv_last.weight.mul_(gain)
        net.conv_last.bias.mul_(gain).add_(0.5 - float(out.mean()) * gain)
    torch.save({"params_ema": official_state_dict(net)}, args.output)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    commands = parser.add_subparsers(dest="command", required=True)

    def network_source(command, required=True):
        group = command.add_mutually_exclusive_group(required=required)
        group.add_argument("--ncnn", nargs=2, metavar=("PARAM", "BIN"))
        group.add_argument("--pth", metavar="PTH")

    command = commands.add_parser("compare")
    network_source(command)
    command.add_argument("input")
    command.add_argument("ours")
    command.add_argument("--threads", type=int, default=2)
    command.set_defaults(run=compare)

    command = commands.add_parser("time")
    network_source(command)
    command.add_argument("--threads", type=int, default=2)
    command.add_argument("--runs", type=int, default=2)
    command.set_defaults(run=time_tile)

    command = commands.add_parser("write-pth")
    network_source(command)
    command.add_argument("output")
    command.add_argument("--threads", type=int, default=2)
    command.set_defaults(run=write_pth)

    command = commands.add_parser("random-pth")
    command.add_argument("--scale", type=int, choices=[1, 2, 4], required=True)
    command.add_argument("--blocks", type=int, default=2)
    command.add_argument("output")
    command.add_argument("--threads", type=int, default=2)
    command.set_defaults(run=random_pth)

    args = parser.parse_args()
    torch.set_num_threads(args.threads)
    args.run(args)


if __name__ == "__main__":
    main()
