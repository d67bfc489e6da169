#!/usr/bin/python3
# Writes a tiny ONNX segmentation network for the remover's tests: input x float32
# [1, 3, 16, 16], output mask [1, 1, 16, 16] = 20 × the first channel - 10, so a full first
# channel gives a large logit and an empty one a small logit.
# Usage: make_tiny_segmenter.py OUTPUT.onnx
import sys

import numpy as np
import onnx
from onnx import TensorProto, helper, numpy_helper

weights = numpy_helper.from_array(np.array([20.0, 0.0, 0.0], dtype=np.float32).reshape(1, 3, 1, 1), "w")
bias = numpy_helper.from_array(np.array([-10.0], dtype=np.float32), "b")
graph = helper.make_graph(
    [helper.make_node("Conv", ["x", "w", "b"], ["mask"], kernel_shape=[1, 1])], "tiny-segmenter",
    [helper.make_tensor_value_info("x", TensorProto.FLOAT, [1, 3, 16, 16])],
    [helper.make_tensor_value_info("mask", TensorProto.FLOAT, [1, 1, 16, 16])],
    initializer=[weights, bias])
model = helper.make_model(graph, opset_imports=[helper.make_opsetid("", 11)])
model.ir_version = 6
onnx.checker.check_model(model)
onnx.save(model, sys.argv[1])
