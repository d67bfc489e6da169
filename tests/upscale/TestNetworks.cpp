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
def conv(source, inputs, outputs, name, leaky):
    w = rng.normal(0, 1.5 / np.sqrt(inputs * 9), (outputs, inputs, 3, 3)).astype(np.float32)
    b = np.full(outputs, 0.5 if outputs == 3 else 0.0, np.float32)
    initializers.extend([numpy_helper.from_array(w, name + "_w"), numpy_helper.from_array(b, name + "_b")])
    nodes.append(helper.make_node("Conv", [source, name + "_w", name + "_b"], [name + "_c"],
                                  kernel_shape=[3, 3], pads=[1, 1, 1, 1]))
    if not leaky:
        return name + "_c"
    nodes.append(helper.make_node("LeakyRelu", [name + "_c"], [name], name=name, alpha=0.2))
    return name

def enlarge(source, name):
    nodes.append(helper.make_node("Resize", [source, "roi", "twice"], [name], mode="nearest",
                                  coordinate_transformation_mode="asymmetric", nearest_mode="floor"))
    return name

if variant.startswith("tail"):
    # The layout of the general networks: features at the source's size, then an
    # enlarging tail of 2x upsamplings and convolutions, with random weights.
    rng = np.random.default_rng(5)
    initializers.append(numpy_helper.from_array(np.array([1, 1, 2, 2], dtype=np.float32), "twice"))
    features = conv(conv(source, 3, 8, "body1", True), 8, 8, "features", True)
    up = conv(enlarge(conv(enlarge(features, "up1"), 8, 8, "tail1", True), "up2"), 8, 8, "tail2", True)
    nodes.append(helper.make_node("Identity", [conv(up, 8, 3, "last", False)], [output_name]))
else:
    nodes.append(helper.make_node("Resize", [source, "roi", "scales"], [output_name], mode="nearest",
                                  coordinate_transformation_mode="asymmetric", nearest_mode="floor"))
graph = helper.make_graph(nodes, "nearest", [
    helper.make_tensor_value_info(input_name, TensorProto.FLOAT, in_shape)],
    [helper.make_tensor_value_info(output_name, TensorProto.FLOAT, out_shape)],
    initializer=initializers)
model = helper.make_model(graph, opset_imports=[helper.make_opsetid("", 13)])
model.ir_version = 7
onnx.checker.check_model(model)
if variant == "tail":
    # As ml-conversion/convert_realesrgan.py stores it: the tail from the features on as
    # a network of its own, and the rows of features it reaches either side.
    import base64
    from onnx.utils import Extractor
    tail = Extractor(model).extract_model(["features"], [output_name])
    for key, value in (("glintwork.tail.split", "features"), ("glintwork.tail.halo", "3"),
                       ("glintwork.tail.onnx", base64.b64encode(tail.SerializeToString()).decode())):
        entry = model.metadata_props.add()
        entry.key, entry.value = key, value
onnx.save(model, path)
)PY";

} // namespace

bool writeTestNetwork(TestNetwork network, const QString& path, QString* why) {
    const QString python = QStringLiteral("/usr/bin/python3");
    if (!QFileInfo(python).isExecutable()) {
        *why = QStringLiteral("/usr/bin/python3 is not installed");
        return false;
    }
    // In the order of TestNetwork.
    static const char* const variants[] = {"any", "fixed", "renamed", "double", "slow", "tail", "tailless"};
    QProcess process;
    process.start(python, {QStringLiteral("-c"), QString::fromUtf8(kScript), path, QString::fromLatin1(variants[int(network)])});
    if (!process.waitForFinished(60000) || process.exitCode() != 0) {
        *why = QStringLiteral("python3-onnx could not build the test network: ") +
               QString::fromUtf8(process.readAllStandardError()).trimmed();
        return false;
    }
    return QFileInfo(path).isFile();
}

} // namespace glintwork::test
