#!/usr/bin/python3
"""Turn the float16 IS-Net salient-object network into a float32 ONNX file for OpenCV.

The input is the network as it comes (reassembled from its chunks by scripts/setup-models):
float16 weights behind casts at the graph's edges, one main output "output" and eleven side
outputs used only in training. OpenCV 4.6 DNN cannot run float16 tensors, so every float16
weight and constant becomes float32, the float casts go, and only "output" is kept.

  convert_isnet.py IN.onnx OUT.onnx

The result has input "input" (float32 [1, 3, 1024, 1024], RGB scaled to 0..1 minus 0.5)
and output "output" (float32 [1, 1, 1024, 1024], subject probability 0..1); OUT.json beside
it tells the segmenter so.
Needs only numpy and onnx.
"""

import json
import os
import sys

import numpy as np
import onnx
from onnx import TensorProto, numpy_helper

KEPT_OUTPUT = "output"
CONTRACT = {"inputWidth": 1024, "inputHeight": 1024, "channelOrder": "RGB",
            "mean": [0.5, 0.5, 0.5], "std": [1.0, 1.0, 1.0]}
FLOAT_TYPES = (TensorProto.FLOAT, TensorProto.FLOAT16)


def to_float32(tensor):
    if tensor.data_type != TensorProto.FLOAT16:
        return tensor
    converted = numpy_helper.from_array(numpy_helper.to_array(tensor).astype(np.float32), tensor.name)
    return converted


def drop_float_casts(graph):
    """Removes every cast between float types; the tensors on both sides become one."""
    outputs = {o.name for o in graph.output}
    rename = {}
    kept = []
    for node in graph.node:
        if node.op_type == "Cast" and node.attribute[0].i in FLOAT_TYPES:
            source, target = node.input[0], node.output[0]
            if target in outputs:
                # The graph's output name must survive: the producer takes it over.
                rename[source] = target
            else:
                rename[target] = source
            continue
        kept.append(node)

    def resolve(name):
        seen = set()
        while name in rename and name not in seen:
            seen.add(name)
            name = rename[name]
        return name

    for node in kept:
        for i, name in enumerate(node.input):
            node.input[i] = resolve(name)
        for i, name in enumerate(node.output):
            node.output[i] = resolve(name)
    for value in list(graph.input):
        if value.name in rename:
            raise SystemExit(f"graph input {value.name} is cast into a graph output; unexpected layout")
    del graph.node[:]
    graph.node.extend(kept)


def keep_only(graph, name):
    """Keeps one graph output and the nodes it depends on."""
    wanted = [o for o in graph.output if o.name == name]
    if not wanted:
        raise SystemExit(f"the network has no output named {name!r}")
    del graph.output[:]
    graph.output.extend(wanted)
    needed = {name}
    live = []
    for node in reversed(graph.node):
        if any(o in needed for o in node.output):
            live.append(node)
            needed.update(i for i in node.input if i)
    del graph.node[:]
    graph.node.extend(reversed(live))
    initializers = [t for t in graph.initializer if t.name in needed]
    del graph.initializer[:]
    graph.initializer.extend(initializers)


def convert(model):
    graph = model.graph
    drop_float_casts(graph)
    keep_only(graph, KEPT_OUTPUT)
    initializers = [to_float32(t) for t in graph.initializer]
    del graph.initializer[:]
    graph.initializer.extend(initializers)
    for node in graph.node:
        if node.op_type == "Constant":
            for attribute in node.attribute:
                if attribute.name == "value":
                    attribute.t.CopyFrom(to_float32(attribute.t))
    for value in list(graph.input) + list(graph.output):
        if value.type.tensor_type.elem_type == TensorProto.FLOAT16:
            value.type.tensor_type.elem_type = TensorProto.FLOAT
    del graph.value_info[:]
    for node in graph.node:
        if node.op_type == "Cast":
            raise SystemExit(f"cast {node.name} to type {node.attribute[0].i} remains; unexpected layout")
    onnx.checker.check_model(model)
    return model


def main(argv):
    if len(argv) != 3:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    model = convert(onnx.load(argv[1]))
    inputs = [(i.name, [d.dim_value for d in i.type.tensor_type.shape.dim]) for i in model.graph.input]
    if inputs != [("input", [1, 3, 1024, 1024])]:
        raise SystemExit(f"unexpected input {inputs}; expected input [1, 3, 1024, 1024]")
    onnx.save(model, argv[2])
    with open(os.path.splitext(argv[2])[0] + ".json", "w") as sidecar:
        json.dump(CONTRACT, sidecar, indent=2)
        sidecar.write("\n")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
