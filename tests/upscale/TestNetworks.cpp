#include "TestNetworks.h"

#include <gtest/gtest.h>

#include "support/TestImages.h"
#include "support/TestSupport.h"

namespace glintwork::test {

namespace {

// Variants: "blur" and "blurfixed" average each pixel's 3 × 3 neighbourhood, zeros beyond
// the canvas, before the enlargement; "slow" puts seven 64-channel convolutions that pass the
// picture through unchanged (one centre tap per colour) before the enlargement, seconds of work on
// a full canvas for the same pixels; "tail" and "tailless" have the layout of the general networks,
// features at the source's size then an enlarging tail of 2x upsamplings and convolutions, with
// random weights; "tail" also stores the tail from the features on as a network of its own, with
// the rows of features it reaches either side, as ml-conversion/convert_realesrgan.py does.
const char* const kScript = R"PY(
import sys, base64
import numpy as np
import onnx
from onnx import helper, TensorProto, numpy_helper
from onnx.utils import Extractor

path, variant = sys.argv[1:3]
factor = 2 if variant == "double" else 4
inp, out = ("pixels", "sr_out") if variant == "renamed" else ("x", "output")
fixed = variant in ("fixed", "blurfixed")
side = [512, 512] if fixed else ["height", "width"]
out_shape = [1, 3] + ([512 * factor] * 2 if fixed else ["out_height", "out_width"])
nodes, inits, rng = [], [], np.random.default_rng(5)

def const(name, value):
    inits.append(numpy_helper.from_array(np.asarray(value, np.float32), name))
    return name

def node(op, inputs, name, **attributes):
    nodes.append(helper.make_node(op, inputs, [name], **attributes))
    return name

def resize(source, scales, name):
    return node("Resize", [source, "roi", scales], name, mode="nearest",
                coordinate_transformation_mode="asymmetric", nearest_mode="floor")

def conv(source, w, b, name, leaky=False):
    c = node("Conv", [source, const(name + "_w", w), const(name + "_b", b)], name + "_c",
             kernel_shape=[3, 3], pads=[1, 1, 1, 1])
    return node("LeakyRelu", [c], name, alpha=0.2) if leaky else c

def random_conv(source, inputs, outputs, name, leaky=True):
    w = rng.normal(0, 1.5 / np.sqrt(inputs * 9), (outputs, inputs, 3, 3))
    return conv(source, w, np.full(outputs, 0.0 if leaky else 0.5), name, leaky)

source = inp
const("roi", [])
const("scales", [1, 1, factor, factor])
const("twice", [1, 1, 2, 2])
if variant == "slow":
    channels = [3] + [64] * 7 + [3]
    for i in range(8):
        w = np.zeros((channels[i + 1], channels[i], 3, 3))
        w[[0, 1, 2], [0, 1, 2], 1, 1] = 1
        source = conv(source, w, np.zeros(channels[i + 1]), f"s{i}")
if variant.startswith("blur"):
    source = node("Conv", [source, const("box", np.full((3, 1, 3, 3), 1 / 9))], "blurred",
                  kernel_shape=[3, 3], pads=[1, 1, 1, 1], group=3)
if variant.startswith("tail"):
    features = random_conv(random_conv(source, 3, 8, "body1"), 8, 8, "features")
    up = random_conv(resize(random_conv(resize(features, "twice", "up1"), 8, 8, "tail1"), "twice", "up2"), 8, 8, "tail2")
    node("Identity", [random_conv(up, 8, 3, "last", False)], out)
else:
    resize(source, "scales", out)
graph = helper.make_graph(nodes, "test", [helper.make_tensor_value_info(inp, TensorProto.FLOAT, [1, 3] + side)],
                          [helper.make_tensor_value_info(out, TensorProto.FLOAT, out_shape)], initializer=inits)
model = helper.make_model(graph, opset_imports=[helper.make_opsetid("", 13)])
model.ir_version = 7
onnx.checker.check_model(model)
if variant == "tail":
    tail = Extractor(model).extract_model(["features"], [out]).SerializeToString()
    helper.set_model_props(model, {"glintwork.tail.split": "features", "glintwork.tail.halo": "3",
                                   "glintwork.tail.onnx": base64.b64encode(tail).decode()})
onnx.save(model, path)
)PY";

} // namespace

bool writeTestNetwork(TestNetwork network, const QString& path, QString* why) {
    // In the order of TestNetwork.
    static const char* const variants[] = {"any",  "fixed",    "renamed", "double",   "slow",
                                           "tail", "tailless", "blur",    "blurfixed"};
    return test::writeNetworkWithPython(kScript, path, QString::fromLatin1(variants[int(network)]),
                                        why);
}

Image realNetworkImage() {
    Image image = Image::make(kRealNetworkWidth, kRealNetworkHeight, 8, AlphaInfo::last,
                              ColorSpace::sRGB(), 3);
    fill(image, [](int x, int y, int i) {
        const bool inside = (x - 20) * (x - 20) + (y - 10) * (y - 10) <= 36;
        const int values[4] = {x * 255 / (kRealNetworkWidth - 1),
                               y * 255 / (kRealNetworkHeight - 1),
                               inside ? 220 : 30 + (x * y) % 7 * 10, 255};
        return values[i];
    });
    return image;
}

std::vector<std::pair<inference::Precision, double>> precisionsToCheck() {
    std::vector<std::pair<inference::Precision, double>> precisions{
        {inference::Precision::full, 0.5}};
    if (inference::Network::hasNativeBf16())
        precisions.emplace_back(inference::Precision::automatic, 1.5);
    return precisions;
}

void expectBlockMeans(const Image& result, int factor, const double* means, double tolerance) {
    const int columns = kRealNetworkWidth * factor / kRealNetworkBlock;
    const int rows = kRealNetworkHeight * factor / kRealNetworkBlock;
    ASSERT_EQ(std::pair(result.width, result.height),
              std::pair(kRealNetworkWidth * factor, kRealNetworkHeight * factor));
    for (int row = 0; row < rows; ++row)
        for (int column = 0; column < columns; ++column)
            for (int ch = 0; ch < 3; ++ch) {
                double sum = 0;
                for (int y = row * kRealNetworkBlock; y < (row + 1) * kRealNetworkBlock; ++y)
                    for (int x = column * kRealNetworkBlock; x < (column + 1) * kRealNetworkBlock;
                         ++x)
                        sum += result.row(y)[x * 4 + ch];
                EXPECT_NEAR(sum / (kRealNetworkBlock * kRealNetworkBlock),
                            means[(row * columns + column) * 3 + ch], tolerance)
                    << "block " << column << "," << row << " channel " << ch;
            }
}

} // namespace glintwork::test
