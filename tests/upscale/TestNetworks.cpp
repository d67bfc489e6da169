#include "TestNetworks.h"

#include <QFileInfo>
#include <QProcess>

namespace glintwork::test {

namespace {

const char* const kScript = R"PY(
import sys
import numpy as np
import onnx
from onnx import helper, TensorProto, numpy_helper

path, variant = sys.argv[1], sys.argv[2]
factor = 2 if variant == "double" else 4
input_name = "pixels" if variant == "renamed" else "x"
output_name = "sr_out" if variant == "renamed" else "output"
if variant == "fixed":
    in_shape, out_shape = [1, 3, 512, 512], [1, 3, 512 * factor, 512 * factor]
else:
    in_shape, out_shape = [1, 3, "height", "width"], [1, 3, "out_height", "out_width"]
scales = numpy_helper.from_array(np.array([1, 1, factor, factor], dtype=np.float32), "scales")
roi = numpy_helper.from_array(np.array([], dtype=np.float32), "roi")
nodes, initializers, source = [], [roi, scales], input_name
if variant == "slow":
    # Convolutions that pass the picture through unchanged (one centre tap per colour)
    # over 64 channels: seconds of work on a full canvas, the same pixels as "any".
    channels = [3] + [64] * 7 + [3]
    for i in range(len(channels) - 1):
        w = np.zeros((channels[i + 1], channels[i], 3, 3), np.float32)
        for c in range(3):
            w[c, c, 1, 1] = 1.0
        initializers += [numpy_helper.from_array(w, f"w{i}"),
                         numpy_helper.from_array(np.zeros(channels[i + 1], np.float32), f"b{i}")]
        nodes.append(helper.make_node("Conv", [source, f"w{i}", f"b{i}"], [f"c{i}"],
                                      kernel_shape=[3, 3], pads=[1, 1, 1, 1]))
        source = f"c{i}"
nodes.append(helper.make_node("Resize", [source, "roi", "scales"], [output_name], mode="nearest",
                              coordinate_transformation_mode="asymmetric", nearest_mode="floor"))
graph = helper.make_graph(nodes, "nearest", [
    helper.make_tensor_value_info(input_name, TensorProto.FLOAT, in_shape)],
    [helper.make_tensor_value_info(output_name, TensorProto.FLOAT, out_shape)],
    initializer=initializers)
model = helper.make_model(graph, opset_imports=[helper.make_opsetid("", 13)])
model.ir_version = 7
onnx.checker.check_model(model)
onnx.save(model, path)
)PY";

} // namespace

bool writeTestNetwork(TestNetwork network, const QString& path, QString* why) {
    const QString python = QStringLiteral("/usr/bin/python3");
    if (!QFileInfo(python).isExecutable()) {
        *why = QStringLiteral("/usr/bin/python3 is not installed");
        return false;
    }
    QString variant;
    switch (network) {
    case TestNetwork::nearest4xAnySize:
        variant = QStringLiteral("any");
        break;
    case TestNetwork::nearest4xFixed512:
        variant = QStringLiteral("fixed");
        break;
    case TestNetwork::nearest4xRenamed:
        variant = QStringLiteral("renamed");
        break;
    case TestNetwork::doubling2xAnySize:
        variant = QStringLiteral("double");
        break;
    case TestNetwork::slow4xAnySize:
        variant = QStringLiteral("slow");
        break;
    }
    QProcess process;
    process.start(python, {QStringLiteral("-c"), QString::fromUtf8(kScript), path, variant});
    if (!process.waitForFinished(60000) || process.exitCode() != 0) {
        *why = QStringLiteral("python3-onnx could not build the test network: ") +
               QString::fromUtf8(process.readAllStandardError()).trimmed();
        return false;
    }
    return QFileInfo(path).isFile();
}

} // namespace glintwork::test
