#!/usr/bin/python3
"""Checks a converted network against an independent PyTorch RRDBNet on the same weights.

  compare_with_pytorch.py NAME.param NAME.bin INPUT.png OURS.png

INPUT.png is the low-resolution crop, OURS.png what glintwork-cli upscale made of it (4x,
PNG). Prints the maximum absolute byte difference and the PSNR, and the seconds PyTorch
takes for one 512 x 512 tile with --time. Needs python3-torch.
"""

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
    def __init__(self, blocks=23):
        super().__init__()
        self.conv_first = nn.Conv2d(3, 64, 3, 1, 1)
        self.body = nn.Sequential(*[RRDB() for _ in range(blocks)])
        self.conv_body = nn.Conv2d(64, 64, 3, 1, 1)
        self.conv_up1 = nn.Conv2d(64, 64, 3, 1, 1)
        self.conv_up2 = nn.Conv2d(64, 64, 3, 1, 1)
        self.conv_hr = nn.Conv2d(64, 64, 3, 1, 1)
        self.conv_last = nn.Conv2d(64, 3, 3, 1, 1)

    def forward(self, x):
        feat = self.conv_first(x)
        feat = feat + self.conv_body(self.body(feat))
        feat = F.leaky_relu(self.conv_up1(F.interpolate(feat, scale_factor=2, mode="nearest")), 0.2)
        feat = F.leaky_relu(self.conv_up2(F.interpolate(feat, scale_factor=2, mode="nearest")), 0.2)
        return self.conv_last(F.leaky_relu(self.conv_hr(feat), 0.2))


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


def read_png(path):
    import zlib  # tiny PNG reader for the 8-bit RGB/RGBA files written by vips
    data = open(path, "rb").read()
    at, chunks = 8, {}
    idat = b""
    while at < len(data):
        length = int.from_bytes(data[at:at + 4], "big")
        kind = data[at + 4:at + 8]
        body = data[at + 8:at + 8 + length]
        if kind == b"IHDR":
            chunks["w"], chunks["h"] = int.from_bytes(body[0:4], "big"), int.from_bytes(body[4:8], "big")
            chunks["channels"] = {2: 3, 6: 4, 0: 1}[body[9]]
        elif kind == b"IDAT":
            idat += body
        at += 12 + length
    w, h, c = chunks["w"], chunks["h"], chunks["channels"]
    raw = zlib.decompress(idat)
    stride = w * c
    out = np.zeros((h, stride), np.int32)
    prev = np.zeros(stride, np.int32)
    pos = 0
    for y in range(h):
        f = raw[pos]
        line = np.frombuffer(raw[pos + 1:pos + 1 + stride], np.uint8).astype(np.int32)
        pos += 1 + stride
        cur = np.zeros(stride, np.int32)
        for x in range(stride):
            a = cur[x - c] if x >= c else 0
            b = prev[x]
            d = prev[x - c] if x >= c else 0
            if f == 0: v = line[x]
            elif f == 1: v = line[x] + a
            elif f == 2: v = line[x] + b
            elif f == 3: v = line[x] + (a + b) // 2
            else:
                p = a + b - d
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - d)
                v = line[x] + (a if pa <= pb and pa <= pc else b if pb <= pc else d)
            cur[x] = v & 255
        out[y] = cur
        prev = cur
    return out.reshape(h, w, c).astype(np.uint8)


def main():
    param, binary, source, ours = sys.argv[1:5]
    torch.set_num_threads(int(sys.argv[6]) if len(sys.argv) > 6 else 2)
    net = RRDBNet().eval()
    load_ncnn_weights(net, param, binary)
    image = read_png(source)[:, :, :3].astype(np.float32) / 255.0
    with torch.no_grad():
        result = net(torch.from_numpy(image.transpose(2, 0, 1)[None].copy()))[0].numpy().transpose(1, 2, 0)
    reference = np.clip(np.round(result * 255.0), 0, 255).astype(np.int32)
    mine = read_png(ours)[:, :, :3].astype(np.int32)
    diff = np.abs(reference - mine)
    mse = float(np.mean(diff.astype(np.float64) ** 2))
    psnr = float("inf") if mse == 0 else 10 * np.log10(255.0 ** 2 / mse)
    print(f"max abs diff {diff.max()}  mean abs diff {diff.mean():.4f}  PSNR {psnr:.2f} dB")
    if len(sys.argv) > 5 and sys.argv[5] == "--time":
        tile = torch.rand(1, 3, 512, 512)
        with torch.no_grad():
            start = time.perf_counter()
            net(tile)
            print(f"pytorch seconds per 512x512 tile: {time.perf_counter() - start:.2f}")


if __name__ == "__main__":
    main()
