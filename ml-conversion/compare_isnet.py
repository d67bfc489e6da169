#!/usr/bin/python3
"""Check the converted segmentation network against the float16 original, run independently.

Evaluates the original float16 IS-Net graph with NumPy (every tensor rounded to float16
after each operation, as the original stores them) on an image scaled to 1024 x 1024, and
compares the probability map with a mask written by Glintwork for the same image:

  glintwork-cli cutout --export-mask --output out image.png      # image.png: 1024 x 1024
  compare_isnet.py medium.onnx image.png out/image-cutout-mask.png

Prints the largest difference in mask bytes and the PSNR. Needs numpy, onnx and
python3-skimage (for reading the images). Takes a few minutes on two cores.
"""

import math
import sys

import numpy as np
import onnx
from onnx import numpy_helper
from skimage import io


def conv(x, w, b, pads, strides, dilations):
    channels, height, width = x.shape
    out_channels, _, kh, kw = w.shape
    padded = np.pad(x, ((0, 0), (pads[0], pads[2]), (pads[1], pads[3])))
    sh, sw = strides
    dh, dw = dilations
    oh = (padded.shape[1] - dh * (kh - 1) - 1) // sh + 1
    ow = (padded.shape[2] - dw * (kw - 1) - 1) // sw + 1
    out = np.zeros((out_channels, oh * ow), np.float32)
    for i in range(kh):
        for j in range(kw):
            window = padded[:, i * dh:i * dh + sh * (oh - 1) + 1:sh, j * dw:j * dw + sw * (ow - 1) + 1:sw]
            out += w[:, :, i, j] @ np.ascontiguousarray(window).reshape(channels, -1)
    if b is not None:
        out += b[:, None]
    return out.reshape(out_channels, oh, ow)


def max_pool(x, kernel, strides, ceil_mode):
    channels, height, width = x.shape
    k, s = kernel[0], strides[0]
    rounding = math.ceil if ceil_mode else math.floor
    oh = int(rounding((height - k) / s)) + 1
    ow = int(rounding((width - k) / s)) + 1
    padded = np.full((channels, (oh - 1) * s + k, (ow - 1) * s + k), -np.inf, np.float32)
    padded[:, :height, :width] = x
    out = np.full((channels, oh, ow), -np.inf, np.float32)
    for i in range(k):
        for j in range(k):
            out = np.maximum(out, padded[:, i:i + s * (oh - 1) + 1:s, j:j + s * (ow - 1) + 1:s])
    return out


def linear_axis(x, axis, size):
    length = x.shape[axis]
    position = (np.arange(size) + 0.5) * length / size - 0.5
    position = np.clip(position, 0, length - 1)
    low = np.floor(position).astype(int)
    high = np.minimum(low + 1, length - 1)
    fraction = (position - low).astype(np.float32)
    shape = [1] * x.ndim
    shape[axis] = size
    fraction = fraction.reshape(shape)
    return np.take(x, low, axis) * (1 - fraction) + np.take(x, high, axis) * fraction


def topological(graph, available):
    """The graph's nodes in an order where every input is made before it is used."""
    ready = set(available)
    pending = list(graph.node)
    ordered = []
    while pending:
        waiting = []
        for node in pending:
            if all(not name or name in ready for name in node.input):
                ordered.append(node)
                ready.update(node.output)
            else:
                waiting.append(node)
        if len(waiting) == len(pending):
            raise SystemExit("the graph has a cycle or a missing input")
        pending = waiting
    return ordered


def evaluate(model, image):
    values = {t.name: numpy_helper.to_array(t) for t in model.graph.initializer}
    values[model.graph.input[0].name] = image
    for node in topological(model.graph, values):
        attrs = {a.name: onnx.helper.get_attribute_value(a) for a in node.attribute}
        args = [values[n] if n else None for n in node.input]
        op = node.op_type
        if op == "Constant":
            result = numpy_helper.to_array(attrs["value"])
        elif op == "Cast":
            result = args[0].astype(onnx.mapping.TENSOR_TYPE_TO_NP_TYPE[attrs["to"]])
        elif op == "Conv":
            x, w = args[0][0].astype(np.float32), args[1].astype(np.float32)
            b = args[2].astype(np.float32) if len(args) > 2 else None
            result = conv(x, w, b, attrs.get("pads", [0] * 4), attrs.get("strides", [1, 1]),
                          attrs.get("dilations", [1, 1]))[None]
        elif op == "Relu":
            result = np.maximum(args[0], 0)
        elif op == "Sigmoid":
            result = 1 / (1 + np.exp(-args[0].astype(np.float32)))
        elif op == "Add":
            result = args[0] + args[1]
        elif op == "Concat":
            result = np.concatenate(args, axis=attrs["axis"])
        elif op == "Shape":
            result = np.array(args[0].shape, np.int64)
        elif op == "Slice":
            data, starts, ends = args[0], args[1], args[2]
            axes = args[3] if len(args) > 3 and args[3] is not None else range(len(starts))
            index = [slice(None)] * data.ndim
            for axis, start, end in zip(axes, starts, ends):
                index[int(axis)] = slice(int(start), int(min(end, data.shape[int(axis)])))
            result = data[tuple(index)]
        elif op == "MaxPool":
            result = max_pool(args[0][0].astype(np.float32), attrs["kernel_shape"], attrs["strides"],
                              attrs.get("ceil_mode", 0))[None]
        elif op == "Resize":
            assert attrs["mode"] == b"linear" and attrs["coordinate_transformation_mode"] == b"half_pixel"
            sizes = args[3]
            result = args[0].astype(np.float32)
            for axis in (2, 3):
                result = linear_axis(result, axis, int(sizes[axis]))
        else:
            raise SystemExit(f"operation {op} is not evaluated here")
        # The original stores every tensor between its casts as float16.
        if op != "Cast" and any(a is not None and a.dtype == np.float16 for a in args):
            result = result.astype(np.float16)
        values[node.output[0]] = result
    return values["output"]


def main(argv):
    if len(argv) != 4:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    model = onnx.load(argv[1])
    image = io.imread(argv[2])[..., :3].astype(np.float32) / 255.0
    if image.shape[:2] != (1024, 1024):
        raise SystemExit("the image must be 1024 x 1024, the network's own size")
    tensor = (image - 0.5).transpose(2, 0, 1)[None].astype(np.float32)
    probability = evaluate(model, tensor).astype(np.float32)[0, 0]
    expected = np.clip(np.round(probability * 255), 0, 255)
    mask = io.imread(argv[3]).astype(np.float32)
    if mask.ndim == 3:
        mask = mask[..., 0]
    difference = np.abs(mask - expected)
    mse = float(np.mean(difference ** 2))
    psnr = float("inf") if mse == 0 else 10 * math.log10(255 ** 2 / mse)
    print(f"largest difference {difference.max():.0f} of 255, mean {difference.mean():.4f}, PSNR {psnr:.1f} dB")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
