#!/usr/bin/python3
"""Write a Real-ESRGAN network as ONNX for Glintwork's upscaler.

Reads both Real-ESRGAN layouts: RRDBNet (x4plus with 23 blocks, x4plus-anime with 6, and
their kin) and the compact SRVGGNetCompact (realesrgan-x4fast, realesr-animevideov3:
convolutions with PReLU, a pixel shuffle, the input enlarged by nearest neighbour added; the
2x and 3x animevideov3 files are the 4x network with a bicubic reduction of its result). The
network has one input "x" (float32 [1, 3, H, W], RGB in 0..1, any H and W) and one output
"output" (float32 [1, 3, H*f, W*f]). The graph uses only Conv, ConvTranspose, Relu,
LeakyRelu, PRelu, Add, Mul, Concat, Identity and nearest-neighbour Resize.

  convert_realesrgan.py --from-ncnn NAME.param NAME.bin OUT.onnx
  convert_realesrgan.py --from-pth RealESRGAN_x4plus.pth OUT.onnx [--scale 4] [--blocks 23]

--from-ncnn needs only numpy and onnx; --from-pth also needs torch (to unpickle the
checkpoint; the graph is built here, not traced).
"""

import argparse
import base64
import math
import struct
import sys

import numpy as np
import onnx
from onnx import TensorProto, helper, numpy_helper
from onnx.utils import Extractor

NCNN_MAGIC = 7767517
NCNN_FP16_TAG = 0x01306B47
NCNN_FP32_TAG = 0x00000000


class GraphBuilder:
    """Accumulates ONNX nodes and weights under fresh names."""

    def __init__(self):
        self.nodes = []
        self.weights = []
        self.counter = 0

    def fresh(self, hint):
        self.counter += 1
        return f"{hint}_{self.counter}"

    def constant(self, array, hint):
        name = self.fresh(hint)
        self.weights.append(numpy_helper.from_array(np.ascontiguousarray(array), name))
        return name

    def conv(self, source, weight, bias, leaky=None, output=None, stride=1):
        out = output or self.fresh("conv")
        pad = weight.shape[2] // 2 if stride == 1 else 0
        w = self.constant(weight.astype(np.float32), "w")
        b = self.constant(bias.astype(np.float32), "b")
        conv_out = out if leaky is None else self.fresh("preact")
        self.nodes.append(helper.make_node("Conv", [source, w, b], [conv_out],
                                           kernel_shape=list(weight.shape[2:]),
                                           pads=[pad, pad, pad, pad], strides=[stride, stride]))
        if leaky is not None:
            self.nodes.append(helper.make_node("LeakyRelu", [conv_out], [out], alpha=float(leaky)))
        return out

    def prelu(self, source, slopes):
        out = self.fresh("prelu")
        s = self.constant(slopes.astype(np.float32).reshape(-1, 1, 1), "slope")
        self.nodes.append(helper.make_node("PRelu", [source, s], [out]))
        return out

    def pixel_shuffle(self, source, channels, r):
        # pixel_shuffle(x, r): pixel (i, j) of each r x r output cell of channel c comes from
        # input channel c*r*r + i*r + j. Written as a stride-r transposed convolution whose
        # weights place that one value (exact: one product by 1, the rest by 0). ONNX
        # DepthToSpace would say the same, but OpenCV's importer cannot take it on an input
        # of unknown size.
        place = np.zeros((channels * r * r, channels, r, r), np.float32)
        for c in range(channels):
            for i in range(r):
                for j in range(r):
                    place[c * r * r + i * r + j, c, i, j] = 1.0
        out = self.fresh("shuffle")
        w = self.constant(place, "place")
        self.nodes.append(helper.make_node("ConvTranspose", [source, w], [out],
                                           kernel_shape=[r, r], strides=[r, r]))
        return out

    def concat(self, sources):
        out = self.fresh("cat")
        self.nodes.append(helper.make_node("Concat", sources, [out], axis=1))
        return out

    def weighted_sum(self, sources, coefficients, output=None):
        terms = []
        for source, coefficient in zip(sources, coefficients):
            if coefficient == 1.0:
                terms.append(source)
                continue
            scaled = self.fresh("scaled")
            c = self.constant(np.array(coefficient, dtype=np.float32), "c")
            self.nodes.append(helper.make_node("Mul", [source, c], [scaled]))
            terms.append(scaled)
        out = terms[0]
        for term in terms[1:]:
            total = self.fresh("sum")
            self.nodes.append(helper.make_node("Add", [out, term], [total]))
            out = total
        if output is not None and out != output:
            self.nodes.append(helper.make_node("Identity", [out], [output]))
            out = output
        return out

    def upsample_nearest(self, source, factor_h, factor_w):
        out = self.fresh("up")
        roi = self.constant(np.array([], dtype=np.float32), "roi")
        scales = self.constant(np.array([1, 1, factor_h, factor_w], dtype=np.float32), "scales")
        self.nodes.append(helper.make_node("Resize", [source, roi, scales], [out], mode="nearest",
                                           coordinate_transformation_mode="asymmetric",
                                           nearest_mode="floor"))
        return out

    def halve_bicubic(self, source, channels):
        """ncnn's bicubic halving (Interp type 3, scale 0.5, corners not aligned): output pixel
        d of each axis weighs inputs 2d-1 .. 2d+2 by the cubic kernel (a = -0.75) at 0.5,
        indices clamped to the edge. Written as convolutions, one axis after the other."""
        a = -0.75

        def cubic(t):
            t = abs(t)
            if t <= 1:
                return (a + 2) * t ** 3 - (a + 3) * t ** 2 + 1
            return a * t ** 3 - 5 * a * t ** 2 + 8 * a * t - 4 * a if t < 2 else 0.0

        taps = [cubic(1.5), cubic(0.5), cubic(0.5), cubic(1.5)]  # inputs 2d-1, 2d, 2d+1, 2d+2
        for axis in (3, 2):
            source = self._halve_along(source, channels, axis, taps)
        return source

    def _halve_along(self, source, channels, axis, taps):
        # A stride-2 convolution over zero padding gives every output but the first and last,
        # which miss the clamped input beyond the edge: taps[0] * x[0] and taps[3] * x[N-1].
        # Both are carried along in channels of their own and kept only where the edge is,
        # which a channel of ones reveals: a neighbour outside the tensor reads as zero.
        # Kernels span 5 (then 3) pixels along the axis with symmetric padding; 1 across it.
        # offset: a value well above the edge terms (they are inputs times 0.09), so that a
        # Relu passes them unchanged; block: far below, so that a Relu removes them.
        c = channels
        offset, block = 16.0, 4096.0

        def kernel(out_channels, in_channels, size):
            return np.zeros((out_channels, in_channels, size), np.float32)

        def conv(src, weights, bias, stride):
            size = weights.shape[2]
            shape = (weights.shape[0], weights.shape[1]) + ((1, size) if axis == 3 else (size, 1))
            pad = size // 2
            out = self.fresh("halve")
            self.nodes.append(helper.make_node(
                "Conv", [src, self.constant(weights.reshape(shape), "w"), self.constant(bias, "b")], [out],
                kernel_shape=list(shape[2:]),
                pads=[0, pad, 0, pad] if axis == 3 else [pad, 0, pad, 0],
                strides=[1, stride] if axis == 3 else [stride, 1]))
            return out

        ones = 3 * c
        # 1) on x, at the output's size: [zero-padded result, x[2d], x[2d+1], ones]
        w = kernel(3 * c + 1, c, 5)  # taps at 2d-2 .. 2d+2
        b = np.zeros(3 * c + 1, np.float32)
        for i in range(c):
            w[i, i, 1:5] = taps
            w[c + i, i, 2] = taps[0]
            w[2 * c + i, i, 3] = taps[3]
        b[ones] = 1.0
        first = conv(source, w, b, 2)
        # 2) everything lifted by `offset`; the left term pushed down by `block` wherever a
        #    left neighbour exists, the right one wherever a right neighbour exists.
        w = kernel(3 * c + 1, 3 * c + 1, 3)  # taps at d-1, d, d+1
        b = np.full(3 * c + 1, offset, np.float32)
        for i in range(3 * c + 1):
            w[i, i, 1] = 1.0
        for i in range(c):
            w[c + i, ones, 0] = -block
            w[2 * c + i, ones, 2] = -block
        b[ones] = 0.0
        kept = self.fresh("relu")
        self.nodes.append(helper.make_node("Relu", [conv(first, w, b, 1)], [kept]))
        # 3) the sum, less the offsets: 3 * offset wherever both neighbours exist, one offset
        #    less for each edge term kept.
        w = kernel(c, 3 * c + 1, 3)
        b = np.full(c, -3 * offset, np.float32)
        for i in range(c):
            w[i, i, 1] = w[i, c + i, 1] = w[i, 2 * c + i, 1] = 1.0
            w[i, ones, 0] = w[i, ones, 2] = offset
        return conv(kept, w, b, 1)

    def model(self, input_name, output_name, doc):
        graph = helper.make_graph(
            self.nodes, "realesrgan",
            [helper.make_tensor_value_info(input_name, TensorProto.FLOAT, [1, 3, "height", "width"])],
            [helper.make_tensor_value_info(output_name, TensorProto.FLOAT,
                                           [1, 3, "out_height", "out_width"])],
            initializer=self.weights)
        model = helper.make_model(graph, opset_imports=[helper.make_opsetid("", 13)],
                                  producer_name="glintwork convert_realesrgan.py", doc_string=doc)
        model.ir_version = 7
        onnx.checker.check_model(model)
        embed_tail(model)
        return model


def embed_tail(model):
    """Stores the enlarging tail of a network (everything from the first upsampling of a
    feature map on) as a network of its own in the model's metadata, so the program can run
    the tail on a few rows at a time: it holds nearly all the working memory (64 channels
    at 4x), while its reach is a few pixels.

    glintwork.tail.split  the tensor the tail starts from (source resolution)
    glintwork.tail.halo   rows of that tensor either side of a strip that its result needs
    glintwork.tail.onnx   the tail, base64-encoded ONNX with that tensor as its input
    """
    graph = model.graph
    graph_input = graph.input[0].name
    resize = next((n for n in graph.node if n.op_type == "Resize" and n.input[0] != graph_input), None)
    if resize is None:  # the compact network enlarges only its input
        return
    split = resize.input[0]
    tail = Extractor(model).extract_model([split], [graph.output[0].name])
    weights = {w.name: w for w in tail.graph.initializer}
    scale, reach = 1.0, 0.0
    for node in tail.graph.node:
        if node.op_type == "Resize":
            scale *= float(numpy_helper.to_array(weights[node.input[2]])[-1])
        elif node.op_type == "Conv":
            reach += (weights[node.input[1]].dims[-1] // 2) / scale
    halo = math.ceil(reach) + 2
    for key, value in (("glintwork.tail.split", split), ("glintwork.tail.halo", str(halo)),
                       ("glintwork.tail.onnx", base64.b64encode(tail.SerializeToString()).decode())):
        entry = model.metadata_props.add()
        entry.key, entry.value = key, value


# ---------------------------------------------------------------------------- ncnn input

def parse_param_value(text):
    if "." in text or "e" in text or "E" in text:
        return float(text)
    return int(text)


def parse_ncnn_param(path):
    with open(path) as f:
        lines = [line.split() for line in f if line.strip()]
    if int(lines[0][0]) != NCNN_MAGIC:
        raise SystemExit(f"{path}: not an ncnn text .param file")
    layers = []
    for fields in lines[2:]:
        kind, name = fields[0], fields[1]
        bottoms_count, tops_count = int(fields[2]), int(fields[3])
        bottoms = fields[4:4 + bottoms_count]
        tops = fields[4 + bottoms_count:4 + bottoms_count + tops_count]
        params = {}
        for item in fields[4 + bottoms_count + tops_count:]:
            key, value = item.split("=", 1)
            key = int(key)
            if key <= -23300:  # array: count, values...
                values = value.split(",")
                params[-key - 23300] = [parse_param_value(v) for v in values[1:1 + int(values[0])]]
            else:
                params[key] = parse_param_value(value)
        layers.append((kind, name, bottoms, tops, params))
    return layers


class NcnnWeights:
    def __init__(self, path):
        with open(path, "rb") as f:
            self.data = f.read()
        self.at = 0

    def tagged(self, count):
        (tag,) = struct.unpack_from("<I", self.data, self.at)
        self.at += 4
        if tag == NCNN_FP16_TAG:
            values = np.frombuffer(self.data, dtype="<f2", count=count, offset=self.at).astype(np.float32)
            self.at += (count * 2 + 3) // 4 * 4
            return values
        if tag == NCNN_FP32_TAG:
            return self.raw(count)
        raise SystemExit(f"unsupported ncnn weight storage tag {tag:#x} at byte {self.at - 4}")

    def raw(self, count):
        values = np.frombuffer(self.data, dtype="<f4", count=count, offset=self.at).copy()
        self.at += count * 4
        return values

    def finished(self):
        return self.at == len(self.data)


def shuffle_channels(layers, blob):
    """Channels of `blob`, as said by the convolution that produces it."""
    for kind, name, _, tops, params in layers:
        if blob in tops:
            if kind != "Convolution":
                raise SystemExit(f"{name}: PixelShuffle must follow a convolution")
            return params[0]
    raise SystemExit(f"no layer produces {blob}")


def convert_ncnn(param_path, bin_path):
    layers = parse_ncnn_param(param_path)
    weights = NcnnWeights(bin_path)
    builder = GraphBuilder()
    alias = {}
    input_blob = output_blob = None
    for kind, name, bottoms, tops, params in layers:
        inputs = [alias.get(b, b) for b in bottoms]
        if kind == "Input":
            input_blob = tops[0]
            alias[tops[0]] = "x"
        elif kind == "Split":
            for top in tops:
                alias[top] = inputs[0]
        elif kind == "Convolution":
            out_channels, kernel = params[0], params.get(1, 1)
            if params.get(3, 1) != 1 or params.get(2, 1) != 1 or params.get(4, 0) != kernel // 2:
                raise SystemExit(f"{name}: only stride 1, dilation 1, same padding is supported")
            size = params[6]
            in_channels = size // (out_channels * kernel * kernel)
            w = weights.tagged(size).reshape(out_channels, in_channels, kernel, kernel)
            b = weights.raw(out_channels) if params.get(5, 0) else np.zeros(out_channels, np.float32)
            activation = params.get(9, 0)
            if activation not in (0, 2):
                raise SystemExit(f"{name}: activation {activation} is not supported")
            slope = params.get(10, [0.0])[0] if activation == 2 else None
            alias[tops[0]] = builder.conv(inputs[0], w, b, slope)
            output_blob = tops[0]
        elif kind == "PReLU":
            alias[tops[0]] = builder.prelu(inputs[0], weights.raw(params.get(0, 1)))
        elif kind == "PixelShuffle":
            r = params[0]
            if params.get(1, 0) != 0:
                raise SystemExit(f"{name}: only the PyTorch channel order of PixelShuffle is supported")
            alias[tops[0]] = builder.pixel_shuffle(inputs[0], shuffle_channels(layers, bottoms[0]) // (r * r), r)
        elif kind == "Concat":
            if params.get(0, 0) != 0:
                raise SystemExit(f"{name}: only channel concatenation is supported")
            alias[tops[0]] = builder.concat(inputs)
        elif kind == "Eltwise":
            if params.get(0, 1) != 1:
                raise SystemExit(f"{name}: only weighted sums are supported")
            coefficients = params.get(1, [1.0] * len(inputs))
            alias[tops[0]] = builder.weighted_sum(inputs, coefficients)
        elif kind == "BinaryOp":
            if params.get(0, 0) != 0 or params.get(1, 0) != 0:
                raise SystemExit(f"{name}: only tensor addition is supported")
            alias[tops[0]] = builder.weighted_sum(inputs, [1.0, 1.0])
        elif kind == "Interp":
            if params.get(0) == 1:
                alias[tops[0]] = builder.upsample_nearest(inputs[0], params[1], params[2])
            elif params.get(0) == 3 and params.get(1) == params.get(2) == 0.5 and not params.get(6, 0):
                if tops != layers[-1][3]:
                    raise SystemExit(f"{name}: bicubic halving is supported only on the network's result")
                alias[tops[0]] = builder.halve_bicubic(inputs[0], 3)
            else:
                raise SystemExit(f"{name}: only nearest-neighbour enlarging and bicubic halving are supported")
        else:
            raise SystemExit(f"{name}: ncnn layer type {kind} is not supported")
        if tops:
            output_blob = tops[-1]
    if not weights.finished():
        raise SystemExit(f"{bin_path}: {len(weights.data) - weights.at} bytes left over; "
                         "the .param and .bin do not belong together")
    if input_blob is None:
        raise SystemExit(f"{param_path}: no Input layer")
    builder.weighted_sum([alias[output_blob]], [1.0], output="output")
    return builder.model("x", "output", f"converted from {param_path.split('/')[-1]}")


# ---------------------------------------------------------------------- PyTorch input

def convert_pth(path, scale, blocks):
    import torch  # only this path needs it

    checkpoint = torch.load(path, map_location="cpu")
    for key in ("params_ema", "params"):
        if isinstance(checkpoint, dict) and key in checkpoint:
            checkpoint = checkpoint[key]
            break
    state = {k: v.detach().numpy().astype(np.float32) for k, v in checkpoint.items()}
    if blocks is None:
        blocks = 1 + max(int(k.split(".")[1]) for k in state if k.startswith("body."))
    builder = GraphBuilder()

    def conv(source, prefix, leaky=None):
        return builder.conv(source, state[prefix + ".weight"], state[prefix + ".bias"], leaky)

    source = "x"
    if scale in (1, 2):
        # pixel_unshuffle(x, r): channel c*r*r + i*r + j holds pixel (i, j) of each r × r cell.
        # Written as an r × r convolution of stride r whose weights pick that one pixel (exact:
        # one product by 1, the rest by 0). ONNX SpaceToDepth would say the same, but OpenCV's
        # importer cannot take it on an input of unknown size.
        r = 4 // scale
        pick = np.zeros((3 * r * r, 3, r, r), np.float32)
        for c in range(3):
            for i in range(r):
                for j in range(r):
                    pick[c * r * r + i * r + j, c, i, j] = 1.0
        source = builder.conv(source, pick, np.zeros(3 * r * r, np.float32), stride=r)
    feat = conv(source, "conv_first")
    body = feat
    for b in range(blocks):
        block_in = body
        x = block_in
        for d in range(1, 4):
            prefix = f"body.{b}.rdb{d}"
            features = [x]
            for c in range(1, 5):
                features.append(conv(builder.concat(features) if len(features) > 1 else x,
                                     f"{prefix}.conv{c}", 0.2))
            x5 = conv(builder.concat(features), f"{prefix}.conv5")
            x = builder.weighted_sum([x5, x], [0.2, 1.0])
        body = builder.weighted_sum([x, block_in], [0.2, 1.0])
    body = conv(body, "conv_body")
    feat = builder.weighted_sum([feat, body], [1.0, 1.0])
    feat = conv(builder.upsample_nearest(feat, 2, 2), "conv_up1", 0.2)
    feat = conv(builder.upsample_nearest(feat, 2, 2), "conv_up2", 0.2)
    feat = conv(feat, "conv_hr", 0.2)
    out = conv(feat, "conv_last")
    builder.weighted_sum([out], [1.0], output="output")
    return builder.model("x", "output", f"converted from {path.split('/')[-1]}")


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    source = parser.add_mutually_exclusive_group(required=True)
    source.add_argument("--from-ncnn", nargs=2, metavar=("PARAM", "BIN"))
    source.add_argument("--from-pth", metavar="PTH")
    parser.add_argument("--scale", type=int, default=4, choices=[1, 2, 4])
    parser.add_argument("--blocks", type=int, default=None,
                        help="RRDB blocks in a .pth network (default: counted from the weights)")
    parser.add_argument("output")
    args = parser.parse_args()
    if args.from_ncnn:
        model = convert_ncnn(*args.from_ncnn)
    else:
        model = convert_pth(args.from_pth, args.scale, args.blocks)
    onnx.save(model, args.output)


if __name__ == "__main__":
    sys.exit(main())
