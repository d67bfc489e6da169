#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <QFile>

#include "inference/InferenceError.h"
#include "inference/Network.h"
#include "support/TestSupport.h"

namespace glintwork::inference {
namespace {

// Small networks of one kind of layer each, written by Debian's python3-onnx. Weights and
// slopes follow weight(i, seed) so the direct computations below can use the same numbers.
const char* const kScript = R"PY(
import sys
import numpy as np
import onnx
from onnx import helper, TensorProto, numpy_helper

path, variant = sys.argv[1:3]
nodes, inits = [], []

def weight(shape, seed):
    i = np.arange(int(np.prod(shape)), dtype=np.float64)
    return (np.sin(i * 0.37 + seed) * 0.3).astype(np.float32).reshape(shape)

def const(name, value):
    inits.append(numpy_helper.from_array(np.asarray(value, np.float32), name))
    return name

def node(op, inputs, out, **attributes):
    nodes.append(helper.make_node(op, inputs, [out], **attributes))
    return out

def conv(source, shape, name, **attributes):
    return node("Conv", [source, const(name + "_w", weight(shape, 1)), const(name + "_b", weight([shape[0]], 2))],
                name, kernel_shape=shape[2:], **attributes)

shapes = {"conv_relu": [1, 5, 9, 8], "residual": [1, 16, 12, 12], "strided": [1, 3, 11, 10],
          "prelu": [1, 3, 6, 7], "transposed": [1, 3, 5, 6], "pool_resize": [1, 3, 10, 12],
          "plain": [1, 2, 4, 5], "unsupported": [1, 3, 4, 4]}
x = "x"
if variant == "conv_relu":
    out = node("Relu", [conv(x, [16, 5, 3, 3], "c", pads=[1, 1, 1, 1])], "y")
elif variant == "residual":
    # A residual after an activation, then one after a scale.
    a = node("Add", [node("LeakyRelu", [conv(x, [16, 16, 3, 3], "c1", pads=[1, 1, 1, 1])], "l", alpha=0.2), x], "a")
    c = conv(a, [16, 16, 3, 3], "c2", pads=[1, 1, 1, 1])
    out = node("Add", [node("Mul", [c, const("fifth", [0.2])], "m"), a], "y")
elif variant == "strided":
    out = node("Sigmoid", [conv(x, [8, 3, 3, 3], "c", pads=[2, 2, 2, 2], strides=[2, 2], dilations=[2, 2])], "y")
elif variant == "prelu":
    out = node("PRelu", [conv(x, [4, 3, 3, 3], "c", pads=[1, 1, 1, 1]), const("slope", weight([4, 1, 1], 3))], "y")
elif variant == "transposed":
    f = conv(x, [6, 3, 3, 3], "c", pads=[1, 1, 1, 1])
    t = node("ConvTranspose", [f, const("t_w", weight([6, 3, 4, 4], 4))], "t", kernel_shape=[4, 4], strides=[4, 4])
    up = node("Resize", [x, const("roi", []), const("scales", [1, 1, 4, 4])], "up", mode="nearest",
              coordinate_transformation_mode="asymmetric", nearest_mode="floor")
    out = node("Add", [t, up], "y")
elif variant == "pool_resize":
    pooled = node("MaxPool", [x], "p", kernel_shape=[2, 2], strides=[2, 2], ceil_mode=1)
    hw = node("Slice", [node("Shape", [x], "s"), node("Constant", [], "b", value=helper.make_tensor("b", 7, [1], [2])),
                        node("Constant", [], "e", value=helper.make_tensor("e", 7, [1], [4]))], "hw")
    sizes = node("Concat", [node("Constant", [], "nc", value=helper.make_tensor("nc", 7, [2], [1, 3])), hw], "sizes", axis=0)
    resized = node("Resize", [pooled, "", "", sizes], "r", mode="linear", coordinate_transformation_mode="half_pixel")
    out = node("Concat", [x, resized], "y", axis=1)
elif variant == "plain":
    out = node("Add", [node("Mul", [x, const("half", [0.5])], "m"), node("Sigmoid", [x], "s")], "y")
else:
    out = node("Softmax", [x], "y")
graph = helper.make_graph(nodes, "test", [helper.make_tensor_value_info("x", TensorProto.FLOAT, shapes[variant])],
                          [helper.make_tensor_value_info(out, TensorProto.FLOAT, None)], initializer=inits)
model = helper.make_model(graph, opset_imports=[helper.make_opsetid("", 13)])
model.ir_version = 7
onnx.save(model, path)
)PY";

struct Tensor {
    Shape shape;
    std::vector<float> data;

    explicit Tensor(Shape s)
        : shape(std::move(s)), data(std::size_t(shape[0] * shape[1] * shape[2] * shape[3])) {}
    float& at(std::int64_t c, std::int64_t y, std::int64_t x) {
        return data[std::size_t((c * shape[2] + y) * shape[3] + x)];
    }
    [[nodiscard]] float at(std::int64_t c, std::int64_t y, std::int64_t x) const {
        return data[std::size_t((c * shape[2] + y) * shape[3] + x)];
    }
};

std::vector<float> weight(std::size_t count, double seed) {
    std::vector<float> values(count);
    for (std::size_t i = 0; i < count; ++i)
        values[i] = float(std::sin(double(i) * 0.37 + seed) * 0.3);
    return values;
}

Tensor input(const Shape& shape) {
    Tensor t(shape);
    for (std::size_t i = 0; i < t.data.size(); ++i)
        t.data[i] = float(std::cos(double(i) * 0.71) * 1.5);
    return t;
}

// out[o] = b[o] + Σ w[o][i][ky][kx] · x[i][y·s − p + ky·d][x·s − p + kx·d]
Tensor conv(const Tensor& x, std::int64_t outChannels, int k, int stride, int pad, int dilation) {
    const auto w = weight(std::size_t(outChannels * x.shape[1] * k * k), 1);
    const auto b = weight(std::size_t(outChannels), 2);
    const std::int64_t extent = (k - 1) * dilation + 1;
    Tensor out({1, outChannels, (x.shape[2] + 2 * pad - extent) / stride + 1,
                (x.shape[3] + 2 * pad - extent) / stride + 1});
    for (std::int64_t o = 0; o < outChannels; ++o)
        for (std::int64_t y = 0; y < out.shape[2]; ++y)
            for (std::int64_t xx = 0; xx < out.shape[3]; ++xx) {
                double sum = b[std::size_t(o)];
                for (std::int64_t i = 0; i < x.shape[1]; ++i)
                    for (int ky = 0; ky < k; ++ky)
                        for (int kx = 0; kx < k; ++kx) {
                            const std::int64_t sy = y * stride - pad + ky * dilation,
                                               sx = xx * stride - pad + kx * dilation;
                            if (sy >= 0 && sy < x.shape[2] && sx >= 0 && sx < x.shape[3])
                                sum +=
                                    double(
                                        w[std::size_t(((o * x.shape[1] + i) * k + ky) * k + kx)]) *
                                    x.at(i, sy, sx);
                        }
                out.at(o, y, xx) = float(sum);
            }
    return out;
}

Tensor map(Tensor t, const std::function<float(float, std::int64_t)>& f) {
    const std::int64_t plane = t.shape[2] * t.shape[3];
    for (std::size_t i = 0; i < t.data.size(); ++i)
        t.data[i] = f(t.data[i], std::int64_t(i) / plane);
    return t;
}

Tensor concat(const Tensor& a, const Tensor& b) {
    Tensor out({1, a.shape[1] + b.shape[1], a.shape[2], a.shape[3]});
    std::copy(a.data.begin(), a.data.end(), out.data.begin());
    std::copy(b.data.begin(), b.data.end(), out.data.begin() + std::ptrdiff_t(a.data.size()));
    return out;
}

Tensor expected(const std::string& variant, const Tensor& x) {
    const auto relu = [](float v, std::int64_t) { return std::max(v, 0.0f); };
    if (variant == "conv_relu")
        return map(conv(x, 16, 3, 1, 1, 1), relu);
    if (variant == "residual") {
        Tensor a = map(conv(x, 16, 3, 1, 1, 1),
                       [](float v, std::int64_t) { return v > 0 ? v : 0.2f * v; });
        for (std::size_t i = 0; i < a.data.size(); ++i)
            a.data[i] += x.data[i];
        Tensor out = conv(a, 16, 3, 1, 1, 1);
        for (std::size_t i = 0; i < out.data.size(); ++i)
            out.data[i] = out.data[i] * 0.2f + a.data[i];
        return out;
    }
    if (variant == "strided")
        return map(conv(x, 8, 3, 2, 2, 2),
                   [](float v, std::int64_t) { return 1.0f / (1.0f + std::exp(-v)); });
    if (variant == "prelu") {
        const auto slope = weight(4, 3);
        return map(conv(x, 4, 3, 1, 1, 1),
                   [&](float v, std::int64_t c) { return v > 0 ? v : v * slope[std::size_t(c)]; });
    }
    if (variant == "transposed") {
        // Stride equal to the kernel: every input pixel paints its own 4 × 4 block.
        const Tensor f = conv(x, 6, 3, 1, 1, 1);
        const auto w = weight(6 * 3 * 16, 4);
        Tensor out({1, 3, x.shape[2] * 4, x.shape[3] * 4});
        for (std::int64_t o = 0; o < 3; ++o)
            for (std::int64_t y = 0; y < out.shape[2]; ++y)
                for (std::int64_t xx = 0; xx < out.shape[3]; ++xx) {
                    double sum = x.at(o, y / 4, xx / 4);
                    for (std::int64_t i = 0; i < 6; ++i)
                        sum += double(w[std::size_t(((i * 3 + o) * 4 + y % 4) * 4 + xx % 4)]) *
                               f.at(i, y / 4, xx / 4);
                    out.at(o, y, xx) = float(sum);
                }
        return out;
    }
    if (variant == "pool_resize") {
        // 10 × 12 pooled by 2 with ceiling → 5 × 6, then back to 10 × 12 sampling at
        // half-pixel centres, clamped at the edges.
        Tensor pooled({1, 3, 5, 6});
        for (std::int64_t c = 0; c < 3; ++c)
            for (std::int64_t y = 0; y < 5; ++y)
                for (std::int64_t xx = 0; xx < 6; ++xx)
                    pooled.at(c, y, xx) =
                        std::max({x.at(c, 2 * y, 2 * xx), x.at(c, 2 * y + 1, 2 * xx),
                                  x.at(c, 2 * y, 2 * xx + 1), x.at(c, 2 * y + 1, 2 * xx + 1)});
        Tensor resized({1, 3, 10, 12});
        const auto source = [](std::int64_t o, std::int64_t in, std::int64_t out, std::int64_t& lo,
                               std::int64_t& hi) {
            const double at =
                std::clamp((double(o) + 0.5) * double(in) / double(out) - 0.5, 0.0, double(in - 1));
            lo = std::int64_t(std::floor(at));
            hi = std::min(lo + 1, in - 1);
            return at - double(lo);
        };
        for (std::int64_t c = 0; c < 3; ++c)
            for (std::int64_t y = 0; y < 10; ++y)
                for (std::int64_t xx = 0; xx < 12; ++xx) {
                    std::int64_t y0, y1, x0, x1;
                    const double fy = source(y, 5, 10, y0, y1), fx = source(xx, 6, 12, x0, x1);
                    resized.at(c, y, xx) = float(
                        (1 - fy) * ((1 - fx) * pooled.at(c, y0, x0) + fx * pooled.at(c, y0, x1)) +
                        fy * ((1 - fx) * pooled.at(c, y1, x0) + fx * pooled.at(c, y1, x1)));
                }
        return concat(x, resized);
    }
    return map(x, [](float v, std::int64_t) { return v * 0.5f + 1.0f / (1.0f + std::exp(-v)); });
}

class ExecutorTest : public ::testing::Test {
protected:
    QString network(const QString& variant) {
        const QString path = m_dir.filePath(variant + QStringLiteral(".onnx"));
        QString why;
        if (!test::writeNetworkWithPython(kScript, path, variant, &why))
            m_skip = why.toStdString();
        return path;
    }

    test::ScratchDir m_dir;
    std::string m_skip;
};

TEST_F(ExecutorTest, EachLayerKindMatchesADirectComputation) {
    const std::pair<const char*, Shape> cases[] = {
        {"conv_relu", {1, 5, 9, 8}}, {"residual", {1, 16, 12, 12}}, {"strided", {1, 3, 11, 10}},
        {"prelu", {1, 3, 6, 7}},     {"transposed", {1, 3, 5, 6}},  {"pool_resize", {1, 3, 10, 12}},
        {"plain", {1, 2, 4, 5}}};
    // Float32 within rounding; bf16 (where the CPU has it) keeps about three digits.
    struct Mode {
        const char* name;
        bool winograd;
        Precision precision;
        double tolerance;
    };
    std::vector<Mode> modes{{"winograd", true, Precision::full, 2e-4},
                            {"direct", false, Precision::full, 2e-4}};
    if (Network::hasNativeBf16())
        modes.push_back({"bf16", true, Precision::bf16, 2e-2});
    for (const Mode& mode : modes) {
        Network::setWinogradAllowed(mode.winograd);
        Network::setPrecision(mode.precision);
        for (const auto& [variant, shape] : cases) {
            SCOPED_TRACE(std::string(variant) + " " + mode.name);
            const QString path = network(QString::fromLatin1(variant));
            if (!m_skip.empty())
                GTEST_SKIP() << m_skip;
            const Tensor x = input(shape);
            const auto net = Network::load(path.toStdString());
            const auto outputs = net->run({{"x", shape, x.data.data()}});
            const Tensor want = expected(variant, x);
            ASSERT_EQ(outputs.size(), 1u);
            ASSERT_EQ(outputs.front().shape, want.shape);
            double largest = 0, scale = 1;
            for (std::size_t i = 0; i < want.data.size(); ++i) {
                largest =
                    std::max(largest, double(std::abs(outputs.front().data[i] - want.data[i])));
                scale = std::max(scale, double(std::abs(want.data[i])));
            }
            EXPECT_LT(largest, mode.tolerance * scale);
        }
    }
    Network::setWinogradAllowed(true);
    Network::setPrecision(Precision::automatic);
}

TEST_F(ExecutorTest, UnusableFilesAndInputsFailWithTheirReason) {
    const QString unsupported = network(QStringLiteral("unsupported"));
    const QString good = network(QStringLiteral("plain"));
    if (!m_skip.empty())
        GTEST_SKIP() << m_skip;
    const QByteArray bytes = test::contents(good);
    const QString truncated =
        m_dir.writeFile(QStringLiteral("truncated.onnx"), bytes.left(bytes.size() - 7));
    const std::vector<float> data(2 * 4 * 5, 0.5f);
    const std::pair<std::function<void()>, std::string> cases[] = {
        {[&] { (void)Network::load(unsupported.toStdString()); },
         "unsupported.onnx uses the operator \"Softmax\", which this program cannot run"},
        {[&] { (void)Network::load(truncated.toStdString()); },
         "truncated.onnx is damaged or truncated: it is not a whole ONNX network"},
        {[&] { (void)Network::load(m_dir.filePath(QStringLiteral("missing.onnx")).toStdString()); },
         "missing.onnx could not be opened: No such file or directory"},
        {[&] {
             (void)Network::load(good.toStdString())->run({{"x", {1, 3, 4, 5}, data.data()}});
         },
         "plain.onnx takes its input \"x\" as [1, 2, 4, 5], not [1, 3, 4, 5]"},
    };
    for (const auto& [action, text] : cases) {
        try {
            action();
            ADD_FAILURE() << "no error for: " << text;
        } catch (const InferenceError& error) {
            EXPECT_EQ(std::string(error.what()), text);
        }
    }
}

} // namespace
} // namespace glintwork::inference
