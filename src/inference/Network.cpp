#include "inference/Network.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <list>
#include <mutex>
#include <numeric>
#include <set>
#include <thread>
#include <ctime>
#include <unordered_map>

#include <fcntl.h>
#include <omp.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <oneapi/dnnl/dnnl.hpp>

#include "inference/InferenceError.h"
#include "inference/OnnxGraph.h"

namespace glintwork::inference {

namespace {

using dnnl::algorithm;
using dnnl::memory;
using dnnl::prop_kind;
using Tag = memory::format_tag;
using DataType = memory::data_type;

std::atomic<bool> winogradAllowed{true};
std::atomic<Precision> precisionSetting{Precision::automatic};
constexpr std::size_t kWinogradScratchpadLimit = std::size_t(160) << 20;
std::atomic<int> runningPasses{0};
std::atomic<int> threadLimit{0};

// Every pass running in the process gets an equal share of the cores it may use, so files
// processed at once never ask oneDNN for more threads than there are cores.
int threadsPerPass() {
    const int cores = threadLimit > 0 ? threadLimit.load()
                                      : int(std::max(1u, std::thread::hardware_concurrency()));
    return std::max(1, cores / std::max(1, runningPasses.load()));
}

const std::set<std::string>& runnableOperators() {
    static const std::set<std::string> ops = {
        "Conv",  "ConvTranspose", "Relu",  "LeakyRelu", "PRelu",  "Sigmoid",   "Add",
        "Sub",   "Mul",           "Div",   "MaxPool",   "Resize", "Concat",    "Identity",
        "Shape", "Constant",      "Slice", "Gather",    "Cast",   "Unsqueeze", "Squeeze"};
    return ops;
}

// Operators that only ever see the graph's shape arithmetic.
bool shapeOnly(const std::string& op) {
    return op == "Shape" || op == "Constant" || op == "Slice" || op == "Gather" || op == "Cast" ||
           op == "Unsqueeze" || op == "Squeeze";
}

std::string describe(const Shape& shape) {
    std::string text = "[";
    for (std::size_t i = 0; i < shape.size(); ++i)
        text += (i ? ", " : "") + std::to_string(shape[i]);
    return text + "]";
}

std::int64_t elements(const Shape& shape) {
    return std::accumulate(shape.begin(), shape.end(), std::int64_t(1), std::multiplies<>());
}

// A value during planning: its shape, and its elements when the graph's shape arithmetic
// makes it a constant.
struct Value {
    Shape shape;
    bool constant = false;
    std::vector<double> data; // constants only (small ones; weights stay in the file)
    const OnnxTensor* weights = nullptr;
};

Shape broadcast(const Shape& a, const Shape& b, const std::string& where) {
    Shape result(std::max(a.size(), b.size()), 1);
    for (std::size_t i = 0; i < result.size(); ++i) {
        const std::int64_t x = i < result.size() - a.size() ? 1 : a[i - (result.size() - a.size())];
        const std::int64_t y = i < result.size() - b.size() ? 1 : b[i - (result.size() - b.size())];
        if (x != y && x != 1 && y != 1)
            throw InferenceError(where + ": shapes " + describe(a) + " and " + describe(b) +
                                 " do not match");
        result[i] = x == 1 ? y : x;
    }
    return result;
}

struct AlignedFree {
    void operator()(void* p) const { std::free(p); }
};
using Buffer = std::unique_ptr<char, AlignedFree>;

Buffer allocate(std::size_t bytes, const std::string& fileName) {
    void* p = std::aligned_alloc(64, std::max<std::size_t>(64, (bytes + 63) / 64 * 64));
    if (!p)
        throw InferenceError(fileName + ": not enough memory for the network's pass");
    return Buffer(static_cast<char*>(p));
}

// A plain-layout tag for a tensor of this rank.
Tag plainTag(std::size_t rank) {
    switch (rank) {
    case 1:
        return Tag::a;
    case 2:
        return Tag::ab;
    case 3:
        return Tag::abc;
    case 4:
        return Tag::abcd;
    default:
        return Tag::abcde;
    }
}

memory::dims dimsOf(const Shape& shape) {
    return memory::dims(shape.begin(), shape.end());
}

// The layout this machine's convolutions like for activations, found once by asking oneDNN
// for a typical layer; other layers write their results in it too, so that nothing is
// reordered between layers.
// A typical layer (64 to 64 channels, 3 × 3, on 32 × 32) as oneDNN would run it on this
// machine with these post-ops; throws dnnl::error when it would not run it at all.
const memory::dims kProbeActivation{1, 64, 32, 32};
dnnl::convolution_forward::primitive_desc probeConvolution(const dnnl::engine& engine,
                                                           const dnnl::primitive_attr& attr) {
    const memory::desc any(kProbeActivation, DataType::f32, Tag::any);
    const memory::desc weights({64, 64, 3, 3}, DataType::f32, Tag::any);
    const dnnl::convolution_forward::desc d(prop_kind::forward_inference,
                                            algorithm::convolution_direct, any, weights, any,
                                            {1, 1}, {0, 0}, {1, 1}, {1, 1});
    return {d, attr, engine};
}

Tag preferredActivationTag(const dnnl::engine& engine) {
    static const Tag tag = [&] {
        try {
            const auto pd = probeConvolution(engine, dnnl::primitive_attr());
            for (const Tag candidate : {Tag::nChw16c, Tag::nChw8c, Tag::nhwc, Tag::nchw}) {
                if (pd.dst_desc() == memory::desc(kProbeActivation, DataType::f32, candidate))
                    return candidate;
            }
        } catch (const dnnl::error&) {
        }
        return Tag::nchw;
    }();
    return tag;
}

// Whether a convolution can add a residual after its activation in a fast kernel. oneDNN 2.6's
// AVX-512 kernels take the two post-ops in either order; its AVX2 kernels only take the sum
// first and send a convolution with "activation, then sum" to the reference code, some thirty
// times slower than the layer and a separate addition.
bool residualAfterActivationIsFast(const dnnl::engine& engine) {
    static const bool fast = [&] {
        dnnl::post_ops ops;
        ops.append_eltwise(1.0f, algorithm::eltwise_relu, 0.0f, 0.0f);
        ops.append_sum(1.0f);
        dnnl::primitive_attr attr;
        attr.set_post_ops(ops);
        try {
            return std::strncmp(probeConvolution(engine, attr).impl_info_str(), "ref", 3) != 0;
        } catch (const dnnl::error&) {
            return false;
        }
    }();
    return fast;
}

memory::desc activationDesc(const Shape& shape, DataType type, const dnnl::engine& engine) {
    return memory::desc(dimsOf(shape), type,
                        shape.size() == 4 ? preferredActivationTag(engine)
                                          : plainTag(shape.size()));
}

// One operation of a plan: a primitive with its arguments, the tensors by id.
struct Step {
    dnnl::primitive primitive;
    std::vector<std::pair<int, int>> tensorArgs;  // oneDNN argument, tensor id
    std::unordered_map<int, memory> constantArgs; // weights, biases, slopes
    memory::desc scratchpad;
    double work = 1;
    // Arguments that see their tensor through another shape or strides.
    std::vector<std::pair<int, memory::desc>> views;
};

struct TensorSlot {
    memory::desc desc;
    int buffer = -1;
    int lastUse = -1;
    bool external = false; // a graph input: the caller's memory
};

struct Plan {
    std::vector<Shape> inputShapes;
    std::vector<std::string> outputNames;
    int threads = 1; // oneDNN sizes its kernels' work split when they are made
    bool winograd = true;
    Precision precision = Precision::automatic; // as asked for
    // What activations and weights are held in between the graph's edges.
    DataType activations = DataType::f32;
    std::vector<Step> steps;
    std::vector<TensorSlot> tensors;
    std::vector<std::size_t> bufferSizes;
    std::size_t scratchpadSize = 0;
    std::vector<int> inputTensors;  // by graph input
    std::vector<int> outputTensors; // plain-layout copies the caller receives
    std::vector<Shape> outputShapes;
    double totalWork = 1;
    std::vector<std::shared_ptr<memory>> weights; // keeps the reordered weights alive

    // Bound when the pass runs.
    std::vector<Buffer> buffers;
    Buffer scratchpadBuffer;
    std::vector<memory> memories;
};

} // namespace

struct Network::Impl {
    std::string fileName;
    std::string ownedBytes;
    void* mapped = nullptr;
    std::size_t mappedSize = 0;
    OnnxGraph graph;
    std::vector<TensorInfo> inputs;
    std::vector<TensorInfo> outputs;
    std::map<std::string, int> producers; // value name → node index
    dnnl::engine engine{dnnl::engine::kind::cpu, 0};

    mutable std::mutex mutex;
    mutable std::list<std::shared_ptr<Plan>> plans; // most recent first
    mutable std::atomic<double> lastWork{0};
    // Reordered weights by node and layout, shared by the plans that use them.
    mutable std::map<int, std::vector<std::pair<memory::desc, std::weak_ptr<memory>>>> weightCache;

    ~Impl() {
        if (mapped)
            munmap(mapped, mappedSize);
    }

    void prepare(std::string_view bytes) {
        graph = OnnxGraph::parse(bytes, fileName);
        for (std::size_t i = 0; i < graph.nodes.size(); ++i) {
            const OnnxNode& node = graph.nodes[i];
            if (!node.op.empty() && !runnableOperators().count(node.op))
                throw InferenceError(fileName + " uses the operator \"" + node.op +
                                     "\", which this program cannot run");
            for (const std::string& output : node.outputs)
                producers[output] = int(i);
        }
        for (const auto& input : graph.inputs)
            inputs.push_back({input.name, input.shape});
        for (const auto& output : graph.outputs)
            outputs.push_back({output.name, output.shape});
    }

    [[noreturn]] void fail(const OnnxNode& node, const std::string& why) const {
        throw InferenceError(fileName + ": " + node.op + " \"" +
                             (node.name.empty() ? node.outputs.front() : node.name) + "\" " + why);
    }

    // Shapes and constants of every value the requested outputs need, for these inputs.
    std::map<std::string, Value> evaluate(const std::vector<Shape>& inputShapes,
                                          std::vector<bool>& needed,
                                          const std::vector<std::string>& wanted) const;
    std::shared_ptr<Plan> plan(const std::vector<Shape>& inputShapes,
                               const std::vector<std::string>& wanted, Precision precision) const;
    // Lets the pages of the file that hold these bytes go, once they are copied.
    void releaseFileBytes(std::string_view bytes) const {
        if (!mapped || bytes.empty())
            return;
        const auto page = std::uintptr_t(sysconf(_SC_PAGESIZE));
        const auto from = (std::uintptr_t(bytes.data()) + page - 1) / page * page;
        const auto to = (std::uintptr_t(bytes.data()) + bytes.size()) / page * page;
        if (to > from) {
            // Back from the rounded address to a pointer into the same mapping.
            char* const first =
                const_cast<char*>(bytes.data()) + (from - std::uintptr_t(bytes.data()));
            madvise(first, to - from, MADV_DONTNEED);
        }
    }
    void releaseFileWeights() const {
        // The weights were copied into their layouts; the file's pages may go.
        if (mapped)
            madvise(mapped, mappedSize, MADV_DONTNEED);
    }
};

std::map<std::string, Value> Network::Impl::evaluate(const std::vector<Shape>& inputShapes,
                                                     std::vector<bool>& needed,
                                                     const std::vector<std::string>& wanted) const {
    if (inputShapes.size() != inputs.size())
        throw InferenceError(fileName + " takes " + std::to_string(inputs.size()) +
                             " inputs, not " + std::to_string(inputShapes.size()));
    std::map<std::string, Value> values;
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        const Shape& declared = inputs[i].shape;
        const Shape& given = inputShapes[i];
        bool fits = declared.empty() || declared.size() == given.size();
        for (std::size_t d = 0; fits && d < declared.size(); ++d)
            fits = declared[d] < 0 || declared[d] == given[d];
        for (const std::int64_t d : given)
            fits = fits && d > 0;
        if (!fits)
            throw InferenceError(fileName + " takes its input \"" + inputs[i].name + "\" as " +
                                 describe(declared) + ", not " + describe(given));
        values[inputs[i].name].shape = given;
    }
    for (const auto& [name, tensor] : graph.initializers) {
        Value value;
        value.shape = tensor.dims;
        value.constant = true;
        value.weights = &tensor;
        if (tensor.elementCount() <= 4096) {
            if (tensor.type == OnnxTensor::Type::int64) {
                const auto ints = tensor.toIntegers();
                value.data.assign(ints.begin(), ints.end());
            } else if (tensor.type == OnnxTensor::Type::float32) {
                const auto floats = tensor.toFloats();
                value.data.assign(floats.begin(), floats.end());
            }
        }
        values[name] = std::move(value);
    }

    // Only the nodes the wanted values depend on.
    needed.assign(graph.nodes.size(), false);
    std::vector<std::string> pending = wanted;
    while (!pending.empty()) {
        const std::string name = pending.back();
        pending.pop_back();
        const auto producer = producers.find(name);
        if (producer == producers.end()) {
            if (!values.count(name))
                throw InferenceError(fileName + " computes no value named \"" + name + "\"");
            continue;
        }
        if (needed[std::size_t(producer->second)])
            continue;
        needed[std::size_t(producer->second)] = true;
        for (const std::string& input : graph.nodes[std::size_t(producer->second)].inputs) {
            if (!input.empty())
                pending.push_back(input);
        }
    }

    for (std::size_t index = 0; index < graph.nodes.size(); ++index) {
        if (!needed[index])
            continue;
        const OnnxNode& node = graph.nodes[index];
        std::vector<const Value*> in;
        for (const std::string& name : node.inputs) {
            if (name.empty()) {
                in.push_back(nullptr);
                continue;
            }
            const auto found = values.find(name);
            if (found == values.end())
                fail(node, "reads \"" + name + "\", which nothing computes before it");
            in.push_back(&found->second);
        }
        const auto input = [&](std::size_t i) -> const Value& {
            if (i >= in.size() || !in[i])
                fail(node, "lacks its input " + std::to_string(i + 1));
            return *in[i];
        };
        const auto known = [&](std::size_t i) -> const std::vector<double>& {
            const Value& v = input(i);
            if (!v.constant || (v.data.empty() && elements(v.shape) != 0))
                fail(node, "needs its input " + std::to_string(i + 1) + " to be a small constant");
            return v.data;
        };
        const bool allConstant = std::all_of(in.begin(), in.end(), [](const Value* v) {
            return !v || (v->constant && (!v->data.empty() || elements(v->shape) == 0));
        });
        Value out;
        const std::string& op = node.op;
        if (op == "Constant") {
            const OnnxAttribute* a = node.attribute("value");
            out.constant = true;
            if (a && a->t) {
                out.shape = a->t->dims;
                if (a->t->type == OnnxTensor::Type::other)
                    fail(node, "holds a constant of a type this program does not use");
                if (a->t->type == OnnxTensor::Type::int64) {
                    const auto ints = a->t->toIntegers();
                    out.data.assign(ints.begin(), ints.end());
                } else {
                    const auto floats = a->t->toFloats();
                    out.data.assign(floats.begin(), floats.end());
                }
            } else if (const OnnxAttribute* ints = node.attribute("value_ints")) {
                out.data.assign(ints->ints.begin(), ints->ints.end());
                out.shape = {std::int64_t(out.data.size())};
            } else if (const OnnxAttribute* one = node.attribute("value_int")) {
                out.data = {double(one->i)};
            } else if (const OnnxAttribute* real = node.attribute("value_float")) {
                out.data = {double(real->f)};
            } else {
                fail(node, "holds a kind of constant this program does not read");
            }
        } else if (op == "Shape") {
            const Shape& shape = input(0).shape;
            std::int64_t start = node.integer("start", 0),
                         end = node.integer("end", std::int64_t(shape.size()));
            const auto rank = std::int64_t(shape.size());
            start = std::clamp(start < 0 ? start + rank : start, std::int64_t(0), rank);
            end = std::clamp(end < 0 ? end + rank : end, std::int64_t(0), rank);
            out.constant = true;
            for (std::int64_t i = start; i < end; ++i)
                out.data.push_back(double(shape[std::size_t(i)]));
            out.shape = {std::int64_t(out.data.size())};
        } else if (shapeOnly(op) || (allConstant && op != "Conv" && op != "ConvTranspose" &&
                                     op != "MaxPool" && op != "Resize")) {
            // The graph's shape arithmetic: folded here, never run.
            out.constant = true;
            if (op == "Slice") {
                const auto& data = known(0);
                if (input(0).shape.size() != 1)
                    fail(node, "slices image data, which this program does not do");
                std::vector<double> starts, ends, steps;
                if (in.size() >= 3) {
                    starts = known(1);
                    ends = known(2);
                    if (in.size() >= 5 && in[4])
                        steps = known(4);
                } else {
                    const auto s = node.integers("starts", {}), e = node.integers("ends", {});
                    starts.assign(s.begin(), s.end());
                    ends.assign(e.begin(), e.end());
                }
                if (starts.size() != 1 || ends.size() != 1 || (!steps.empty() && steps[0] != 1))
                    fail(node, "slices in a way this program does not do");
                const auto size = std::int64_t(data.size());
                const auto clampIndex = [&](double v) {
                    auto i = v >= double(INT64_MAX)   ? size
                             : v <= double(INT64_MIN) ? 0
                                                      : std::int64_t(v);
                    return std::clamp(i < 0 ? i + size : i, std::int64_t(0), size);
                };
                const std::int64_t from = clampIndex(starts[0]), to = clampIndex(ends[0]);
                for (std::int64_t i = from; i < to; ++i)
                    out.data.push_back(data[std::size_t(i)]);
                out.shape = {std::int64_t(out.data.size())};
            } else if (op == "Gather") {
                const auto& data = known(0);
                const auto& indices = known(1);
                if (input(0).shape.size() != 1 || node.integer("axis", 0) != 0)
                    fail(node, "gathers in a way this program does not do");
                for (const double index : indices) {
                    auto i = std::int64_t(index);
                    i = i < 0 ? i + std::int64_t(data.size()) : i;
                    if (i < 0 || i >= std::int64_t(data.size()))
                        fail(node, "gathers outside its data");
                    out.data.push_back(data[std::size_t(i)]);
                }
                out.shape = input(1).shape;
            } else if (op == "Cast") {
                out.data = known(0);
                const std::int64_t to = node.integer("to", 1);
                if (to != 1 && to != 10 && to != 11)
                    for (double& v : out.data)
                        v = std::trunc(v);
                out.shape = input(0).shape;
            } else if (op == "Unsqueeze" || op == "Squeeze" || op == "Identity") {
                out.data = known(0);
                out.shape =
                    op == "Identity" ? input(0).shape : Shape{std::int64_t(out.data.size())};
                if (out.data.size() == 1 && op == "Squeeze")
                    out.shape = {};
            } else if (op == "Concat") {
                for (std::size_t i = 0; i < in.size(); ++i) {
                    const auto& part = known(i);
                    out.data.insert(out.data.end(), part.begin(), part.end());
                }
                out.shape = {std::int64_t(out.data.size())};
            } else if (op == "Add" || op == "Sub" || op == "Mul" || op == "Div") {
                const auto &a = known(0), &b = known(1);
                out.shape = broadcast(input(0).shape, input(1).shape, fileName + ": " + op);
                const std::size_t count = std::max(a.size(), b.size());
                if ((a.size() != count && a.size() != 1) || (b.size() != count && b.size() != 1))
                    fail(node, "combines constants in a way this program does not do");
                for (std::size_t i = 0; i < count; ++i) {
                    const double x = a[a.size() == 1 ? 0 : i], y = b[b.size() == 1 ? 0 : i];
                    out.data.push_back(op == "Add"   ? x + y
                                       : op == "Sub" ? x - y
                                       : op == "Mul" ? x * y
                                                     : x / y);
                }
            } else {
                fail(node, "works on constants in a way this program does not do");
            }
        } else if (op == "Conv" || op == "ConvTranspose") {
            const Shape& x = input(0).shape;
            const Shape& w = input(1).shape;
            if (x.size() != 4 || w.size() != 4 || !input(1).weights)
                fail(node, "is not a 2-D convolution with stored weights");
            const std::int64_t group = node.integer("group", 1);
            const auto strides = node.integers("strides", {1, 1});
            const auto dilations = node.integers("dilations", {1, 1});
            const auto pads = node.integers("pads", {0, 0, 0, 0});
            const std::string autoPad = node.text("auto_pad", "NOTSET");
            if ((autoPad != "NOTSET" && autoPad != "VALID") || strides.size() != 2 ||
                dilations.size() != 2 || pads.size() != 4 || node.attribute("output_shape") ||
                group < 1)
                fail(node, "has settings this program does not support");
            const auto outPad = node.integers("output_padding", {0, 0});
            const bool transposed = op == "ConvTranspose";
            const std::int64_t inputChannels = transposed ? w[0] : w[1] * group;
            if (x[1] != inputChannels || (transposed ? false : w[0] % group != 0) ||
                x[1] % group != 0)
                fail(node, "gets " + std::to_string(x[1]) + " channels for weights " + describe(w));
            out.shape = {x[0], transposed ? w[1] * group : w[0], 0, 0};
            for (std::size_t d = 0; d < 2; ++d) {
                const std::int64_t extent = (w[d + 2] - 1) * dilations[d] + 1;
                out.shape[d + 2] =
                    transposed
                        ? strides[d] * (x[d + 2] - 1) + outPad[d] + extent - pads[d] - pads[d + 2]
                        : (x[d + 2] + pads[d] + pads[d + 2] - extent) / strides[d] + 1;
                if (out.shape[d + 2] < 1)
                    fail(node, "gets an input too small for it: " + describe(x));
            }
        } else if (op == "MaxPool") {
            const Shape& x = input(0).shape;
            const auto kernel = node.integers("kernel_shape", {});
            const auto strides = node.integers("strides", {1, 1});
            const auto pads = node.integers("pads", {0, 0, 0, 0});
            const auto dilations = node.integers("dilations", {1, 1});
            if (x.size() != 4 || kernel.size() != 2 || strides.size() != 2 || pads.size() != 4 ||
                dilations != std::vector<std::int64_t>{1, 1} ||
                node.text("auto_pad", "NOTSET") != "NOTSET" || node.outputs.size() != 1)
                fail(node, "has settings this program does not support");
            const bool ceil = node.integer("ceil_mode", 0) != 0;
            out.shape = {x[0], x[1], 0, 0};
            for (std::size_t d = 0; d < 2; ++d) {
                const std::int64_t span = x[d + 2] + pads[d] + pads[d + 2] - kernel[d];
                std::int64_t size =
                    (ceil ? (span + strides[d] - 1) / strides[d] : span / strides[d]) + 1;
                // The last window must start inside the input or its leading padding.
                if (ceil && (size - 1) * strides[d] >= x[d + 2] + pads[d])
                    --size;
                if (span < 0 || size < 1)
                    fail(node, "gets an input too small for it: " + describe(x));
                out.shape[d + 2] = size;
            }
        } else if (op == "Resize") {
            const Shape& x = input(0).shape;
            if (x.size() != 4)
                fail(node, "resizes something other than an image");
            std::vector<double> sizes, scales;
            if (in.size() >= 4 && in[3])
                sizes = known(3);
            if (sizes.empty() && in.size() >= 3 && in[2])
                scales = known(2);
            else if (sizes.empty() && in.size() == 2)
                scales = known(1); // the form before scales moved to the third input
            out.shape = x;
            for (std::size_t d = 0; d < 4; ++d) {
                if (!sizes.empty() && sizes.size() == 4)
                    out.shape[d] = std::int64_t(sizes[d]);
                else if (scales.size() == 4)
                    out.shape[d] = std::int64_t(std::floor(double(x[d]) * scales[d]));
                else
                    fail(node, "has neither scales nor sizes for every dimension");
            }
            if (out.shape[0] != x[0] || out.shape[1] != x[1] || out.shape[2] < 1 ||
                out.shape[3] < 1)
                fail(node,
                     "resizes to " + describe(out.shape) + ", which this program does not do");
        } else if (op == "Concat") {
            out.shape = input(0).shape;
            auto axis = node.integer("axis", 1);
            axis = axis < 0 ? axis + std::int64_t(out.shape.size()) : axis;
            if (axis < 0 || axis >= std::int64_t(out.shape.size()))
                fail(node, "joins along an axis its inputs lack");
            out.shape[std::size_t(axis)] = 0;
            for (std::size_t i = 0; i < in.size(); ++i) {
                Shape part = input(i).shape;
                if (input(i).constant || part.size() != out.shape.size())
                    fail(node, "joins inputs of different kinds");
                out.shape[std::size_t(axis)] += part[std::size_t(axis)];
                part[std::size_t(axis)] = 0;
                Shape expected = out.shape;
                expected[std::size_t(axis)] = 0;
                if (part != expected)
                    fail(node, "joins inputs of different shapes");
            }
        } else if (op == "Add" || op == "Sub" || op == "Mul" || op == "Div") {
            out.shape = broadcast(input(0).shape, input(1).shape, fileName + ": " + op);
        } else if (op == "PRelu") {
            out.shape = input(0).shape;
            const Value& slope = input(1);
            if (!slope.constant || slope.data.empty() ||
                (slope.data.size() != 1 &&
                 (out.shape.size() < 2 || std::int64_t(slope.data.size()) != out.shape[1])))
                fail(node, "has slopes this program cannot apply per channel");
        } else { // Relu, LeakyRelu, Sigmoid, Identity
            out.shape = input(0).shape;
        }
        if (node.outputs.empty())
            fail(node, "has no output");
        values[node.outputs.front()] = std::move(out);
    }
    return values;
}

namespace {

// A convolution with what follows it folded in.
struct Fused {
    float scale = 1.0f; // a Mul by a constant right after it, folded into the weights
    dnnl::post_ops postOps;
    std::string residual; // the value a sum post-op adds
    int postOpCount = 0;
};

// Whether float32 Winograd can take nearly all of the convolutions' arithmetic, with the
// activations fused into each.
bool mostlyWinograd(const dnnl::engine& engine, const OnnxGraph& graph,
                    const std::map<std::string, Value>& values, const std::vector<bool>& needed,
                    const std::map<int, Fused>& fusions) {
    double all = 0, winograd = 0;
    for (std::size_t index = 0; index < graph.nodes.size(); ++index) {
        const OnnxNode& node = graph.nodes[index];
        if (node.op != "Conv" || !needed[index] || values.at(node.outputs.front()).constant)
            continue;
        const Shape& src = values.at(node.inputs[0]).shape;
        const Shape& out = values.at(node.outputs.front()).shape;
        const Value& weight = values.at(node.inputs[1]);
        if (src.size() != 4 || out.size() != 4 || !weight.weights)
            continue;
        const Shape& w = weight.weights->dims;
        const std::int64_t group = node.integer("group", 1);
        const std::int64_t inPerGroup = src[1] / group;
        const double work = 2.0 * double(elements(out)) * double(inPerGroup) * double(w[2] * w[3]);
        all += work;
        if (group != 1 || w[2] != 3 || w[3] != 3 ||
            node.integers("strides", {1, 1}) != std::vector<std::int64_t>{1, 1} ||
            node.integers("dilations", {1, 1}) != std::vector<std::int64_t>{1, 1})
            continue;
        const auto pads = node.integers("pads", {0, 0, 0, 0});
        try {
            const dnnl::convolution_forward::desc desc(
                prop_kind::forward_inference, algorithm::convolution_winograd,
                memory::desc(dimsOf(src), DataType::f32, Tag::any),
                memory::desc({out[1], src[1], 3, 3}, DataType::f32, Tag::any),
                memory::desc(dimsOf(out), DataType::f32, Tag::any), {1, 1}, {0, 0},
                {pads[0], pads[1]}, {pads[2], pads[3]});
            dnnl::primitive_attr attr;
            attr.set_scratchpad_mode(dnnl::scratchpad_mode::user);
            if (const auto fused = fusions.find(int(index)); fused != fusions.end())
                attr.set_post_ops(fused->second.postOps);
            const dnnl::convolution_forward::primitive_desc pd(desc, attr, engine);
            if (pd.scratchpad_desc().get_size() <= kWinogradScratchpadLimit)
                winograd += work;
        } catch (const dnnl::error&) {
        }
    }
    return all > 0 && winograd >= 0.9 * all;
}

} // namespace

std::shared_ptr<Plan> Network::Impl::plan(const std::vector<Shape>& inputShapes,
                                          const std::vector<std::string>& wanted,
                                          Precision precision) const {
    std::vector<bool> needed;
    const std::map<std::string, Value> values = evaluate(inputShapes, needed, wanted);
    auto plan = std::make_shared<Plan>();
    plan->inputShapes = inputShapes;
    plan->outputNames = wanted;
    plan->precision = precision;

    // Identity passes its input on: both names are one tensor.
    std::map<std::string, std::string> aliasOf;
    const auto canonical = [&](std::string name) {
        for (auto found = aliasOf.find(name); found != aliasOf.end(); found = aliasOf.find(name))
            name = found->second;
        return name;
    };
    const auto isRuntime = [&](const std::string& name) {
        const auto v = values.find(name);
        return v != values.end() && !v->second.constant;
    };
    for (std::size_t i = 0; i < graph.nodes.size(); ++i) {
        const OnnxNode& node = graph.nodes[i];
        if (needed[i] && node.op == "Identity" && isRuntime(node.outputs.front()))
            aliasOf[node.outputs.front()] = node.inputs.front();
    }
    // Readers of every runtime value, by canonical name; a wanted value counts as read.
    std::map<std::string, std::vector<int>> readers;
    std::set<std::string> wantedNames;
    for (const std::string& name : wanted)
        wantedNames.insert(canonical(name));
    for (std::size_t i = 0; i < graph.nodes.size(); ++i) {
        const OnnxNode& node = graph.nodes[i];
        if (!needed[i] || (node.op == "Identity" && aliasOf.count(node.outputs.front())))
            continue;
        for (const std::string& input : node.inputs) {
            if (!input.empty() && isRuntime(input))
                readers[canonical(input)].push_back(int(i));
        }
    }
    const auto soleReader = [&](const std::string& name) -> int {
        const std::string c = canonical(name);
        const auto r = readers.find(c);
        if (wantedNames.count(c) || r == readers.end() || r->second.size() != 1)
            return -1;
        return r->second.front();
    };

    // Fuse: each convolution absorbs the chain of single-reader operations after it that
    // oneDNN can apply as it writes its result.
    std::vector<int> absorbedInto(graph.nodes.size(), -1);
    std::map<int, Fused> fusions;
    std::map<int, int> runsAt; // convolution node → node index whose place it takes
    for (std::size_t i = 0; i < graph.nodes.size(); ++i) {
        const OnnxNode& node = graph.nodes[i];
        if (!needed[i] || (node.op != "Conv" && node.op != "ConvTranspose"))
            continue;
        Fused fused;
        std::string current = node.outputs.front();
        int last = int(i);
        for (;;) {
            const int next = soleReader(current);
            if (next < 0)
                break;
            const OnnxNode& follower = graph.nodes[std::size_t(next)];
            const auto other = [&]() -> std::string {
                for (const std::string& input : follower.inputs) {
                    if (canonical(input) != canonical(current))
                        return input;
                }
                return {};
            };
            const Value* operand = nullptr;
            if (follower.inputs.size() == 2) {
                const auto found = values.find(other());
                operand = found == values.end() ? nullptr : &found->second;
            }
            const bool scalar = operand && operand->constant && operand->data.size() == 1;
            if (follower.op == "Mul" && scalar && fused.postOpCount == 0 &&
                fused.residual.empty()) {
                fused.scale *= float(operand->data[0]);
            } else if (follower.op == "Mul" && scalar) {
                fused.postOps.append_eltwise(1.0f, algorithm::eltwise_linear,
                                             float(operand->data[0]), 0.0f);
                ++fused.postOpCount;
            } else if (follower.op == "Relu" || follower.op == "LeakyRelu") {
                const float alpha = follower.op == "Relu" ? 0.0f : follower.real("alpha", 0.01f);
                fused.postOps.append_eltwise(1.0f, algorithm::eltwise_relu, alpha, 0.0f);
                ++fused.postOpCount;
            } else if (follower.op == "Sigmoid") {
                fused.postOps.append_eltwise(1.0f, algorithm::eltwise_logistic, 0.0f, 0.0f);
                ++fused.postOpCount;
            } else if (follower.op == "PRelu" && operand && operand->constant &&
                       operand->data.size() == 1) {
                // One slope for all channels is a leaky ReLU. Per-channel slopes as a post-op
                // would send the convolution to oneDNN's reference code, many times slower
                // than a separate pass over the result.
                fused.postOps.append_eltwise(1.0f, algorithm::eltwise_relu, float(operand->data[0]),
                                             0.0f);
                ++fused.postOpCount;
            } else if (follower.op == "Add" && fused.residual.empty() && operand &&
                       !operand->constant && operand->shape == values.at(current).shape &&
                       (fused.postOpCount == 0 || residualAfterActivationIsFast(engine))) {
                fused.postOps.append_sum(1.0f);
                fused.residual = other();
                ++fused.postOpCount;
            } else {
                break;
            }
            absorbedInto[std::size_t(next)] = int(i);
            current = follower.outputs.front();
            last = next;
        }
        fusions[int(i)] = std::move(fused);
        runsAt[last] = int(i);
    }

    // bf16 halves the cost of direct convolutions; float32 Winograd does 3 × 3 layers at about
    // 2.2 times the direct float32 rate, so it is only worth keeping float32 for when Winograd
    // takes nearly all the arithmetic. Mixing the two costs more in conversions than it saves.
    const bool bf16 =
        hasNativeBf16() &&
        (precision == Precision::bf16 ||
         (precision == Precision::automatic &&
          !(winogradAllowed && mostlyWinograd(engine, graph, values, needed, fusions))));
    const DataType act = bf16 ? DataType::bf16 : DataType::f32;
    plan->activations = act;

    // Tensors by canonical name.
    std::map<std::string, int> tensorOf;
    const auto newTensor = [&](const memory::desc& desc) {
        plan->tensors.push_back(TensorSlot{desc});
        return int(plan->tensors.size()) - 1;
    };
    const auto tensorFor = [&](const std::string& name) -> int {
        const auto found = tensorOf.find(canonical(name));
        if (found == tensorOf.end())
            throw InferenceError(fileName + ": \"" + name + "\" is read before it is computed");
        return found->second;
    };
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        const int id = newTensor(
            memory::desc(dimsOf(inputShapes[i]), DataType::f32, plainTag(inputShapes[i].size())));
        plan->tensors[std::size_t(id)].external = true;
        tensorOf[inputs[i].name] = id;
        plan->inputTensors.push_back(id);
    }

    // Attributes are handles: each primitive gets its own.
    const auto freshAttr = [] {
        dnnl::primitive_attr attr;
        attr.set_scratchpad_mode(dnnl::scratchpad_mode::user);
        return attr;
    };
    const auto addStep = [&](dnnl::primitive primitive, std::vector<std::pair<int, int>> args,
                             const memory::desc& scratchpad, double work) -> Step& {
        plan->steps.push_back(
            Step{std::move(primitive), std::move(args), {}, scratchpad, work, {}});
        plan->scratchpadSize = std::max(plan->scratchpadSize, scratchpad.get_size());
        return plan->steps.back();
    };
    // The tensor `id` in layout `desc`: itself, or a reordered copy.
    const auto inLayout = [&](int id, const memory::desc& desc) {
        if (plan->tensors[std::size_t(id)].desc == desc)
            return id;
        const dnnl::reorder::primitive_desc pd(engine, plan->tensors[std::size_t(id)].desc, engine,
                                               desc, freshAttr());
        const int copy = newTensor(desc);
        addStep(dnnl::reorder(pd), {{DNNL_ARG_FROM, id}, {DNNL_ARG_TO, copy}}, pd.scratchpad_desc(),
                double(desc.get_size()) / 4);
        return copy;
    };
    const auto constantMemory = [&](const Shape& shape, const std::vector<float>& data, Tag tag) {
        auto held =
            std::make_shared<memory>(memory::desc(dimsOf(shape), DataType::f32, tag), engine);
        std::memcpy(held->get_data_handle(), data.data(), data.size() * sizeof(float));
        plan->weights.push_back(held);
        return *held;
    };

    for (std::size_t index = 0; index < graph.nodes.size(); ++index) {
        const OnnxNode& node = graph.nodes[index];
        try {
            if (!needed[index] || values.at(node.outputs.front()).constant)
                continue;
            const std::string& op = node.op;
            const Shape& outShape = values.at(node.outputs.front()).shape;
            if (op == "Identity")
                continue;
            if (absorbedInto[index] >= 0 && !runsAt.count(int(index)))
                continue;
            if ((op == "Conv" || op == "ConvTranspose") && runsAt.count(int(index)) == 0 &&
                fusions.count(int(index)))
                continue; // runs in the place of the last operation it absorbed
            const int convIndex = runsAt.count(int(index)) ? runsAt.at(int(index)) : -1;
            if (convIndex >= 0) {
                const OnnxNode& conv = graph.nodes[std::size_t(convIndex)];
                const Fused& fused = fusions.at(convIndex);
                const std::string resultName = node.outputs.front();
                const Shape& convOut = values.at(resultName).shape;
                const Value& weightValue = values.at(conv.inputs[1]);
                const OnnxTensor& weightTensor = *weightValue.weights;
                const bool transposed = conv.op == "ConvTranspose";
                const std::int64_t group = conv.integer("group", 1);
                Shape w = weightTensor.dims;
                const auto strides = conv.integers("strides", {1, 1});
                const auto dilations = conv.integers("dilations", {1, 1});
                const auto pads = conv.integers("pads", {0, 0, 0, 0});
                const int src = tensorFor(conv.inputs[0]);
                const Shape& srcShape = values.at(conv.inputs[0]).shape;
                const std::int64_t outChannels = convOut[1];
                memory::dims weightDims =
                    group == 1
                        ? memory::dims{outChannels, srcShape[1], w[2], w[3]}
                        : memory::dims{group, outChannels / group, srcShape[1] / group, w[2], w[3]};
                const Tag weightPlain = transposed ? (group == 1 ? Tag::iohw : Tag::giohw)
                                                   : (group == 1 ? Tag::oihw : Tag::goihw);
                // Direct convolutions compute in `act`; Winograd only has float32 kernels.
                const memory::desc anyAct(dimsOf(srcShape), act, Tag::any);
                const memory::desc anyOut(dimsOf(convOut), act, Tag::any);
                const memory::desc anyWeights(weightDims, act, Tag::any);
                const memory::desc anyAct32(dimsOf(srcShape), DataType::f32, Tag::any);
                const memory::desc anyOut32(dimsOf(convOut), DataType::f32, Tag::any);
                const memory::desc anyWeights32(weightDims, DataType::f32, Tag::any);
                const bool hasBias = conv.inputs.size() > 2 && !conv.inputs[2].empty();
                const memory::desc biasDesc({outChannels}, DataType::f32, Tag::a);
                dnnl::primitive_attr attr = freshAttr();
                attr.set_post_ops(fused.postOps);
                const memory::dims s{strides[0], strides[1]}, d{dilations[0] - 1, dilations[1] - 1};
                const memory::dims padL{pads[0], pads[1]}, padR{pads[2], pads[3]};

                // A transposed convolution whose stride equals its kernel paints one block
                // per input pixel: a 1 × 1 convolution to every block position's channels,
                // then a reorder that moves each channel to its place in the block (adding
                // a residual on the way). oneDNN's own kernel for it is many times slower.
                const bool blockPainting =
                    transposed && group == 1 && strides[0] == w[2] && strides[1] == w[3] &&
                    pads == std::vector<std::int64_t>{0, 0, 0, 0} &&
                    dilations == std::vector<std::int64_t>{1, 1} &&
                    fused.postOpCount == (fused.residual.empty() ? 0 : 1) &&
                    convOut[2] == srcShape[2] * w[2] && convOut[3] == srcShape[3] * w[3];
                if (blockPainting) {
                    const std::int64_t kh = w[2], kw = w[3], in = srcShape[1], h = srcShape[2],
                                       wd = srcShape[3];
                    const std::int64_t wide = outChannels * kh * kw;
                    const memory::desc wideDesc({1, wide, h, wd}, DataType::f32, Tag::abcd);
                    const memory::desc wideWeights({wide, in, 1, 1}, act, Tag::any);
                    const memory::desc wideBias({wide}, DataType::f32, Tag::a);
                    const auto desc = dnnl::convolution_forward::desc(
                        prop_kind::forward_inference, algorithm::convolution_direct, anyAct,
                        wideWeights, wideBias, wideDesc, {1, 1}, {0, 0}, {0, 0}, {0, 0});
                    const dnnl::convolution_forward::primitive_desc pd(desc, freshAttr(), engine);
                    const int srcInLayout = inLayout(src, pd.src_desc());
                    const int painted = newTensor(pd.dst_desc());
                    const std::vector<float> original = weightTensor.toFloats();
                    std::vector<float> plain(std::size_t(wide * in));
                    for (std::int64_t i = 0; i < in; ++i)
                        for (std::int64_t o = 0; o < wide; ++o)
                            plain[std::size_t(o * in + i)] =
                                original[std::size_t(i * wide + o)] * fused.scale;
                    memory source(memory::desc({wide, in, 1, 1}, DataType::f32, Tag::oihw), engine,
                                  plain.data());
                    auto weights = std::make_shared<memory>(pd.weights_desc(), engine);
                    {
                        dnnl::stream stream(engine);
                        dnnl::reorder(source, *weights).execute(stream, source, *weights);
                        stream.wait();
                    }
                    plan->weights.push_back(weights);
                    std::vector<float> bias(std::size_t(wide), 0.0f);
                    if (hasBias) {
                        const std::vector<float> perChannel =
                            values.at(conv.inputs[2]).weights->toFloats();
                        if (std::int64_t(perChannel.size()) != outChannels)
                            fail(conv, "has the wrong number of biases");
                        for (std::int64_t o = 0; o < wide; ++o)
                            bias[std::size_t(o)] =
                                perChannel[std::size_t(o / (kh * kw))] * fused.scale;
                    }
                    Step& step = addStep(dnnl::convolution_forward(pd),
                                         {{DNNL_ARG_SRC, srcInLayout}, {DNNL_ARG_DST, painted}},
                                         pd.scratchpad_desc(), 2.0 * double(wide * in * h * wd));
                    step.constantArgs[DNNL_ARG_WEIGHTS] = *weights;
                    step.constantArgs[DNNL_ARG_BIAS] = constantMemory({wide}, bias, Tag::a);

                    const memory::desc resultDesc(dimsOf(convOut), DataType::f32, Tag::abcd);
                    int dst = -1;
                    dnnl::primitive_attr moveAttr = freshAttr();
                    if (!fused.residual.empty()) {
                        dst = newTensor(resultDesc);
                        const int residual = tensorFor(fused.residual);
                        const dnnl::reorder::primitive_desc copy(
                            engine, plan->tensors[std::size_t(residual)].desc, engine, resultDesc,
                            freshAttr());
                        addStep(dnnl::reorder(copy),
                                {{DNNL_ARG_FROM, residual}, {DNNL_ARG_TO, dst}},
                                copy.scratchpad_desc(), double(elements(convOut)));
                        dnnl::post_ops sum;
                        sum.append_sum(1.0f);
                        moveAttr.set_post_ops(sum);
                    } else {
                        dst = newTensor(resultDesc);
                    }
                    // Channel (o, ky, kx) at (y, x) lands at (o, y·kh + ky, x·kw + kx).
                    const memory::dims viewDims{outChannels, kh, kw, h, wd};
                    const memory::desc from(
                        viewDims, DataType::f32,
                        memory::dims{kh * kw * h * wd, kw * h * wd, h * wd, wd, 1});
                    const memory::desc to(
                        viewDims, DataType::f32,
                        memory::dims{kh * h * kw * wd, kw * wd, 1, kh * kw * wd, kw});
                    const dnnl::reorder::primitive_desc move(engine, from, engine, to, moveAttr);
                    Step& moving =
                        addStep(dnnl::reorder(move), {{DNNL_ARG_FROM, painted}, {DNNL_ARG_TO, dst}},
                                move.scratchpad_desc(), double(elements(convOut)));
                    moving.views = {{DNNL_ARG_FROM, from}, {DNNL_ARG_TO, to}};
                    tensorOf[canonical(resultName)] = dst;
                    continue;
                }

                dnnl::primitive primitive;
                memory::desc srcDesc, weightsDesc, dstDesc, scratchpad;
                if (transposed) {
                    const auto desc =
                        hasBias ? dnnl::deconvolution_forward::desc(
                                      prop_kind::forward_inference, algorithm::deconvolution_direct,
                                      anyAct32, anyWeights32, biasDesc, anyOut32, s, d, padL, padR)
                                : dnnl::deconvolution_forward::desc(
                                      prop_kind::forward_inference, algorithm::deconvolution_direct,
                                      anyAct32, anyWeights32, anyOut32, s, d, padL, padR);
                    const dnnl::deconvolution_forward::primitive_desc pd(desc, attr, engine);
                    primitive = dnnl::deconvolution_forward(pd);
                    srcDesc = pd.src_desc();
                    weightsDesc = pd.weights_desc();
                    dstDesc = pd.dst_desc();
                    scratchpad = pd.scratchpad_desc();
                } else {
                    const auto make = [&](algorithm alg, bool full) {
                        const memory::desc& a = full ? anyAct32 : anyAct;
                        const memory::desc& o = full ? anyOut32 : anyOut;
                        const memory::desc& k = full ? anyWeights32 : anyWeights;
                        const auto desc =
                            hasBias
                                ? dnnl::convolution_forward::desc(prop_kind::forward_inference, alg,
                                                                  a, k, biasDesc, o, s, d, padL,
                                                                  padR)
                                : dnnl::convolution_forward::desc(prop_kind::forward_inference, alg,
                                                                  a, k, o, s, d, padL, padR);
                        return dnnl::convolution_forward::primitive_desc(desc, attr, engine);
                    };
                    dnnl::convolution_forward::primitive_desc pd;
                    const bool winogradShape =
                        w[2] == 3 && w[3] == 3 && strides == std::vector<std::int64_t>{1, 1} &&
                        dilations == std::vector<std::int64_t>{1, 1} && group == 1;
                    bool found = false;
                    if (winogradShape && winogradAllowed && act == DataType::f32) {
                        try {
                            pd = make(algorithm::convolution_winograd, true);
                            // Winograd works on transformed copies of its input and output
                            // (over twice their size): past this, memory matters more.
                            if (pd.scratchpad_desc().get_size() > kWinogradScratchpadLimit)
                                throw dnnl::error(dnnl_unimplemented, "too much working memory");
                            // Its weights must be reachable from the file's layout too.
                            (void)dnnl::reorder::primitive_desc(
                                engine, memory::desc(weightDims, DataType::f32, weightPlain),
                                engine, pd.weights_desc());
                            found = true;
                        } catch (const dnnl::error&) {
                        }
                    }
                    if (!found) {
                        try {
                            pd = make(algorithm::convolution_direct, act == DataType::f32);
                        } catch (const dnnl::error&) {
                            if (act == DataType::f32)
                                throw;
                            pd = make(algorithm::convolution_direct, true);
                        }
                    }
                    primitive = dnnl::convolution_forward(pd);
                    srcDesc = pd.src_desc();
                    weightsDesc = pd.weights_desc();
                    dstDesc = pd.dst_desc();
                    scratchpad = pd.scratchpad_desc();
                }
                const int srcInLayout = inLayout(src, srcDesc);

                // The result's tensor: the residual's own buffer when nothing reads it later,
                // else a fresh one the residual is copied into first.
                int dst = -1;
                if (!fused.residual.empty()) {
                    const int residual = tensorFor(fused.residual);
                    const bool lastRead = readers.at(canonical(fused.residual)).size() == 1 &&
                                          !wantedNames.count(canonical(fused.residual));
                    if (lastRead && residual != src &&
                        !plan->tensors[std::size_t(residual)].external &&
                        plan->tensors[std::size_t(residual)].desc == dstDesc) {
                        dst = residual;
                    } else {
                        dst = newTensor(dstDesc);
                        const dnnl::reorder::primitive_desc copy(
                            engine, plan->tensors[std::size_t(residual)].desc, engine, dstDesc,
                            freshAttr());
                        addStep(dnnl::reorder(copy),
                                {{DNNL_ARG_FROM, residual}, {DNNL_ARG_TO, dst}},
                                copy.scratchpad_desc(), double(dstDesc.get_size()) / 4);
                    }
                } else {
                    dst = newTensor(dstDesc);
                }

                // Weights in the primitive's layout, reordered once and shared between plans.
                auto& cached = weightCache[convIndex];
                std::erase_if(cached, [](const auto& entry) { return entry.second.expired(); });
                std::shared_ptr<memory> weights;
                for (const auto& [desc, held] : cached) {
                    if (desc == weightsDesc)
                        weights = held.lock();
                }
                if (!weights) {
                    std::vector<float> plain = weightTensor.toFloats();
                    if (fused.scale != 1.0f)
                        for (float& v : plain)
                            v *= fused.scale;
                    memory source(memory::desc(weightDims, DataType::f32, weightPlain), engine,
                                  plain.data());
                    weights = std::make_shared<memory>(weightsDesc, engine);
                    dnnl::stream stream(engine);
                    dnnl::reorder(source, *weights).execute(stream, source, *weights);
                    stream.wait();
                    cached.emplace_back(weightsDesc, weights);
                    releaseFileBytes(weightTensor.raw);
                }
                plan->weights.push_back(weights);
                const double work = 2.0 * double(elements(transposed ? srcShape : convOut)) *
                                    double(transposed ? outChannels : srcShape[1]) / double(group) *
                                    double(w[2] * w[3]);
                Step& step = addStep(primitive, {{DNNL_ARG_SRC, srcInLayout}, {DNNL_ARG_DST, dst}},
                                     scratchpad, work);
                step.constantArgs[DNNL_ARG_WEIGHTS] = *weights;
                if (hasBias) {
                    std::vector<float> bias = values.at(conv.inputs[2]).weights->toFloats();
                    if (std::int64_t(bias.size()) != outChannels)
                        fail(conv, "has " + std::to_string(bias.size()) + " biases for " +
                                       std::to_string(outChannels) + " channels");
                    for (float& v : bias)
                        v *= fused.scale;
                    step.constantArgs[DNNL_ARG_BIAS] = constantMemory({outChannels}, bias, Tag::a);
                }
                tensorOf[canonical(resultName)] = dst;
                continue;
            }

            const memory::desc outDesc = activationDesc(outShape, act, engine);
            // The result in its source's layout: oneDNN's fast kernels for pooling, resizing,
            // joining and adding want the same layout on both sides.
            const auto sameLayout = [&](int src) {
                const memory::desc& from = plan->tensors[std::size_t(src)].desc;
                if (outShape.size() == 4) {
                    for (const Tag tag : {Tag::nChw16c, Tag::nChw8c, Tag::nhwc, Tag::nchw}) {
                        if (from == memory::desc(from.dims(), from.data_type(), tag))
                            return memory::desc(dimsOf(outShape), from.data_type(), tag);
                    }
                }
                return outDesc;
            };
            const auto single = [&](int src, const dnnl::primitive& primitive,
                                    const memory::desc& dstDesc, const memory::desc& scratchpad) {
                const int dst = newTensor(dstDesc);
                addStep(primitive, {{DNNL_ARG_SRC, src}, {DNNL_ARG_DST, dst}}, scratchpad,
                        double(elements(outShape)));
                tensorOf[canonical(node.outputs.front())] = dst;
            };
            if (op == "MaxPool") {
                const int src = tensorFor(node.inputs[0]);
                const Shape& x = values.at(node.inputs[0]).shape;
                const auto kernel = node.integers("kernel_shape", {});
                const auto strides = node.integers("strides", {1, 1});
                const auto pads = node.integers("pads", {0, 0, 0, 0});
                memory::dims padR{pads[2], pads[3]};
                // Ceiling mode reaches past the input: extra padding on the far side, which a
                // maximum never picks.
                for (std::size_t d = 0; d < 2; ++d)
                    padR[d] =
                        std::max<std::int64_t>(pads[d + 2], (outShape[d + 2] - 1) * strides[d] +
                                                                kernel[d] - x[d + 2] - pads[d]);
                const dnnl::pooling_forward::desc desc(
                    prop_kind::forward_inference, algorithm::pooling_max,
                    plan->tensors[std::size_t(src)].desc, sameLayout(src), {strides[0], strides[1]},
                    {kernel[0], kernel[1]}, {pads[0], pads[1]}, padR);
                const dnnl::pooling_forward::primitive_desc pd(desc, freshAttr(), engine);
                single(src, dnnl::pooling_forward(pd), pd.dst_desc(), pd.scratchpad_desc());
            } else if (op == "Resize") {
                const int src = tensorFor(node.inputs[0]);
                const Shape& x = values.at(node.inputs[0]).shape;
                const std::string mode = node.text("mode", "nearest");
                const std::string transform =
                    node.text("coordinate_transformation_mode", "half_pixel");
                const std::string nearest = node.text("nearest_mode", "round_prefer_floor");
                algorithm alg;
                // oneDNN samples at half-pixel centres: linear matches ONNX's half_pixel (and
                // pytorch_half_pixel, which differs only for outputs one pixel wide); nearest
                // matches asymmetric/floor for whole enlargement factors.
                if (mode == "linear" &&
                    (transform == "half_pixel" ||
                     (transform == "pytorch_half_pixel" && outShape[2] > 1 && outShape[3] > 1))) {
                    alg = algorithm::resampling_linear;
                } else if (mode == "nearest" && transform == "asymmetric" && nearest == "floor" &&
                           outShape[2] % x[2] == 0 && outShape[3] % x[3] == 0) {
                    alg = algorithm::resampling_nearest;
                } else {
                    std::string what = "resizes with mode \"";
                    what += mode;
                    what += "\" and coordinates \"";
                    what += transform;
                    what += "\", which this program does not do";
                    fail(node, what);
                }
                if (node.integer("antialias", 0) != 0)
                    fail(node, "resizes with antialiasing, which this program does not do");
                // In the source's own layout, where oneDNN has a fast kernel.
                const memory::desc& srcDesc = plan->tensors[std::size_t(src)].desc;
                const memory::desc dstDesc = sameLayout(src);
                const dnnl::resampling_forward::desc desc(prop_kind::forward_inference, alg,
                                                          srcDesc, dstDesc);
                const dnnl::resampling_forward::primitive_desc pd(desc, freshAttr(), engine);
                single(src, dnnl::resampling_forward(pd), pd.dst_desc(), pd.scratchpad_desc());
            } else if (op == "Concat") {
                std::vector<memory::desc> sources;
                std::vector<std::pair<int, int>> args;
                for (std::size_t i = 0; i < node.inputs.size(); ++i) {
                    int src = tensorFor(node.inputs[i]);
                    // oneDNN joins tensors of one type only: the first one's.
                    const memory::desc from = plan->tensors[std::size_t(src)].desc;
                    const DataType joined =
                        i == 0 ? from.data_type()
                               : plan->tensors[std::size_t(args.front().second)].desc.data_type();
                    if (from.data_type() != joined)
                        src = inLayout(src, memory::desc(from.dims(), joined,
                                                         from.dims().size() == 4
                                                             ? preferredActivationTag(engine)
                                                             : plainTag(from.dims().size())));
                    sources.push_back(plan->tensors[std::size_t(src)].desc);
                    args.emplace_back(DNNL_ARG_MULTIPLE_SRC + int(i), src);
                }
                auto axis = node.integer("axis", 1);
                axis = axis < 0 ? axis + std::int64_t(outShape.size()) : axis;
                const dnnl::concat::primitive_desc pd(sameLayout(args.front().second), int(axis),
                                                      sources, engine, freshAttr());
                const int dst = newTensor(pd.dst_desc());
                args.emplace_back(DNNL_ARG_DST, dst);
                addStep(dnnl::concat(pd), args, pd.scratchpad_desc(), double(elements(outShape)));
                tensorOf[canonical(node.outputs.front())] = dst;
            } else if (op == "Relu" || op == "LeakyRelu" || op == "Sigmoid" ||
                       ((op == "Mul" || op == "Add") && !isRuntime(node.inputs[1]) &&
                        values.at(node.inputs[1]).data.size() == 1) ||
                       ((op == "Mul" || op == "Add") && !isRuntime(node.inputs[0]) &&
                        values.at(node.inputs[0]).data.size() == 1)) {
                const bool constantFirst =
                    (op == "Mul" || op == "Add") && !isRuntime(node.inputs[0]);
                const std::string& source = constantFirst ? node.inputs[1] : node.inputs[0];
                const int src = tensorFor(source);
                algorithm alg = algorithm::eltwise_relu;
                float alpha = 0, beta = 0;
                if (op == "LeakyRelu") {
                    alpha = node.real("alpha", 0.01f);
                } else if (op == "Sigmoid") {
                    alg = algorithm::eltwise_logistic;
                } else if (op == "Mul" || op == "Add") {
                    const float c =
                        float(values.at(constantFirst ? node.inputs[0] : node.inputs[1]).data[0]);
                    alg = algorithm::eltwise_linear;
                    alpha = op == "Mul" ? c : 1.0f;
                    beta = op == "Mul" ? 0.0f : c;
                }
                const memory::desc& srcDesc = plan->tensors[std::size_t(src)].desc;
                const dnnl::eltwise_forward::desc desc(prop_kind::forward_inference, alg, srcDesc,
                                                       alpha, beta);
                const dnnl::eltwise_forward::primitive_desc pd(desc, freshAttr(), engine);
                single(src, dnnl::eltwise_forward(pd), pd.dst_desc(), pd.scratchpad_desc());
            } else if (op == "PRelu") {
                const int src = tensorFor(node.inputs[0]);
                const std::vector<double>& data = values.at(node.inputs[1]).data;
                const std::vector<float> slopes(data.begin(), data.end());
                Shape slopeShape(outShape.size(), 1);
                if (slopes.size() > 1)
                    slopeShape[1] = outShape[1];
                const memory::desc& srcDesc = plan->tensors[std::size_t(src)].desc;
                const memory::desc slopeDesc(
                    dimsOf(slopeShape), plan->tensors[std::size_t(src)].desc.data_type(), Tag::any);
                const dnnl::prelu_forward::desc desc(prop_kind::forward_inference, srcDesc,
                                                     slopeDesc);
                const dnnl::prelu_forward::primitive_desc pd(desc, freshAttr(), engine);
                auto held = std::make_shared<memory>(pd.weights_desc(), engine);
                memory plain(
                    memory::desc(dimsOf(slopeShape), DataType::f32, plainTag(slopeShape.size())),
                    engine, const_cast<float*>(slopes.data()));
                dnnl::stream stream(engine);
                dnnl::reorder(plain, *held).execute(stream, plain, *held);
                stream.wait();
                plan->weights.push_back(held);
                single(src, dnnl::prelu_forward(pd), pd.dst_desc(), pd.scratchpad_desc());
                plan->steps.back().constantArgs[DNNL_ARG_WEIGHTS] = *held;
            } else if (op == "Add" || op == "Sub" || op == "Mul" || op == "Div") {
                std::string first = node.inputs[0], second = node.inputs[1];
                // oneDNN broadcasts only its second operand.
                if (values.at(first).shape != outShape && (op == "Add" || op == "Mul"))
                    std::swap(first, second);
                if (values.at(first).shape != outShape || !isRuntime(first))
                    fail(node, "broadcasts in a way this program does not do");
                const algorithm alg = op == "Add"   ? algorithm::binary_add
                                      : op == "Sub" ? algorithm::binary_sub
                                      : op == "Mul" ? algorithm::binary_mul
                                                    : algorithm::binary_div;
                const int a = tensorFor(first);
                std::vector<std::pair<int, int>> args{{DNNL_ARG_SRC_0, a}};
                memory::desc secondDesc;
                memory constantSecond;
                if (isRuntime(second)) {
                    const int b = tensorFor(second);
                    args.emplace_back(DNNL_ARG_SRC_1, b);
                    secondDesc = plan->tensors[std::size_t(b)].desc;
                } else {
                    const Value& c = values.at(second);
                    if (c.data.empty() && !c.weights)
                        fail(node, "needs its constant operand in a form this program reads");
                    Shape shape = c.shape;
                    while (shape.size() < outShape.size())
                        shape.insert(shape.begin(), 1);
                    const std::vector<float> data =
                        c.weights ? c.weights->toFloats()
                                  : std::vector<float>(c.data.begin(), c.data.end());
                    constantSecond = constantMemory(shape, data, plainTag(shape.size()));
                    const DataType type = plan->tensors[std::size_t(a)].desc.data_type();
                    if (type != DataType::f32) {
                        // In the other operand's type: oneDNN mixes types only in some kernels.
                        auto held = std::make_shared<memory>(
                            memory::desc(dimsOf(shape), type, plainTag(shape.size())), engine);
                        dnnl::stream stream(engine);
                        dnnl::reorder(constantSecond, *held).execute(stream, constantSecond, *held);
                        stream.wait();
                        plan->weights.push_back(held);
                        constantSecond = *held;
                    }
                    secondDesc = constantSecond.get_desc();
                }
                const dnnl::binary::desc desc(alg, plan->tensors[std::size_t(a)].desc, secondDesc,
                                              sameLayout(a));
                const dnnl::binary::primitive_desc pd(desc, freshAttr(), engine);
                const int dst = newTensor(pd.dst_desc());
                args.emplace_back(DNNL_ARG_DST, dst);
                Step& step = addStep(dnnl::binary(pd), args, pd.scratchpad_desc(),
                                     double(elements(outShape)));
                if (!isRuntime(second))
                    step.constantArgs[DNNL_ARG_SRC_1] = constantSecond;
                tensorOf[canonical(node.outputs.front())] = dst;
            } else {
                fail(node, "cannot be run on image data");
            }
        } catch (const dnnl::error& error) {
            fail(node, std::string("cannot be run by oneDNN: ") + error.what());
        }
    }
    releaseFileWeights();

    // The caller's results, dense NCHW.
    for (const std::string& name : wanted) {
        const auto v = values.find(name);
        if (v == values.end() || v->second.constant)
            throw InferenceError(fileName + ": \"" + name + "\" is not computed from the input");
        const Shape& shape = v->second.shape;
        const int src = tensorFor(name);
        const memory::desc plain(dimsOf(shape), DataType::f32, plainTag(shape.size()));
        const dnnl::reorder::primitive_desc pd(engine, plan->tensors[std::size_t(src)].desc, engine,
                                               plain, freshAttr());
        const int dst = newTensor(plain);
        plan->tensors[std::size_t(dst)].external = true;
        addStep(dnnl::reorder(pd), {{DNNL_ARG_FROM, src}, {DNNL_ARG_TO, dst}}, pd.scratchpad_desc(),
                double(elements(shape)));
        plan->outputTensors.push_back(dst);
        plan->outputShapes.push_back(shape);
    }

    // Liveness: a tensor's buffer is free again after the last step that touches it.
    for (std::size_t s = 0; s < plan->steps.size(); ++s) {
        for (const auto& [arg, id] : plan->steps[s].tensorArgs)
            plan->tensors[std::size_t(id)].lastUse = int(s);
    }
    std::vector<std::vector<int>> firstUse(plan->steps.size());
    std::vector<bool> seen(plan->tensors.size(), false);
    for (std::size_t s = 0; s < plan->steps.size(); ++s) {
        for (const auto& [arg, id] : plan->steps[s].tensorArgs) {
            if (!seen[std::size_t(id)] && !plan->tensors[std::size_t(id)].external)
                firstUse[s].push_back(id);
            seen[std::size_t(id)] = true;
        }
    }
    std::vector<int> freeBuffers;
    for (std::size_t s = 0; s < plan->steps.size(); ++s) {
        for (const int id : firstUse[s]) {
            const std::size_t need = plan->tensors[std::size_t(id)].desc.get_size();
            // The smallest free buffer that holds it, else the largest one enlarged.
            auto best = freeBuffers.end();
            for (auto it = freeBuffers.begin(); it != freeBuffers.end(); ++it) {
                const std::size_t size = plan->bufferSizes[std::size_t(*it)];
                const std::size_t bestSize =
                    best == freeBuffers.end() ? 0 : plan->bufferSizes[std::size_t(*best)];
                if (best == freeBuffers.end() ||
                    (size >= need && (bestSize < need || size < bestSize)) ||
                    (size < need && bestSize < need && size > bestSize))
                    best = it;
            }
            int buffer;
            if (best == freeBuffers.end()) {
                buffer = int(plan->bufferSizes.size());
                plan->bufferSizes.push_back(need);
            } else {
                buffer = *best;
                freeBuffers.erase(best);
                plan->bufferSizes[std::size_t(buffer)] =
                    std::max(plan->bufferSizes[std::size_t(buffer)], need);
            }
            plan->tensors[std::size_t(id)].buffer = buffer;
        }
        std::set<int> released;
        for (const auto& [arg, id] : plan->steps[s].tensorArgs) {
            const TensorSlot& t = plan->tensors[std::size_t(id)];
            if (!t.external && t.lastUse == int(s) && released.insert(t.buffer).second)
                freeBuffers.push_back(t.buffer);
        }
    }
    plan->totalWork = 0;
    for (const Step& step : plan->steps)
        plan->totalWork += step.work;
    return plan;
}

Network::Network(std::unique_ptr<Impl> impl) : m_impl(std::move(impl)) {}
Network::~Network() = default;

std::shared_ptr<Network> Network::load(const std::string& path) {
    auto impl = std::make_unique<Impl>();
    const std::size_t slash = path.find_last_of('/');
    impl->fileName = slash == std::string::npos ? path : path.substr(slash + 1);
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        throw InferenceError(impl->fileName + " could not be opened: " + std::strerror(errno));
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size <= 0) {
        ::close(fd);
        throw InferenceError(impl->fileName + " is empty or not a file");
    }
    impl->mappedSize = std::size_t(info.st_size);
    void* mapped = ::mmap(nullptr, impl->mappedSize, PROT_READ, MAP_PRIVATE, fd, 0);
    ::close(fd);
    if (mapped == MAP_FAILED)
        throw InferenceError(impl->fileName + " could not be read: " + std::strerror(errno));
    impl->mapped = mapped;
    impl->prepare(std::string_view(static_cast<const char*>(mapped), impl->mappedSize));
    return std::shared_ptr<Network>(new Network(std::move(impl)));
}

std::shared_ptr<Network> Network::fromBytes(std::string bytes, const std::string& name) {
    auto impl = std::make_unique<Impl>();
    impl->fileName = name;
    impl->ownedBytes = std::move(bytes);
    impl->prepare(impl->ownedBytes);
    return std::shared_ptr<Network>(new Network(std::move(impl)));
}

const std::string& Network::fileName() const {
    return m_impl->fileName;
}
const std::vector<TensorInfo>& Network::inputs() const {
    return m_impl->inputs;
}
const std::vector<TensorInfo>& Network::outputs() const {
    return m_impl->outputs;
}
const std::map<std::string, std::string>& Network::metadata() const {
    return m_impl->graph.metadata;
}
bool Network::computes(const std::string& value) const {
    return m_impl->producers.count(value) > 0;
}

void Network::setWinogradAllowed(bool allowed) {
    winogradAllowed = allowed;
}

void Network::setPrecision(Precision precision) {
    precisionSetting = precision;
}

bool Network::hasNativeBf16() {
    const auto isa = dnnl::get_effective_cpu_isa();
    return isa == dnnl::cpu_isa::avx512_core_bf16 || isa == dnnl::cpu_isa::avx512_core_amx;
}

int Network::passesRunning() {
    return runningPasses.load();
}

void Network::setThreadLimit(int threads) {
    threadLimit = threads;
}

double Network::lastPassOperations() const {
    return m_impl->lastWork;
}

double Network::sgemmCpuSeconds(int n, int threads) {
    std::vector<float> a(std::size_t(n) * std::size_t(n), 0.5f), b(a.size(), 0.25f),
        c(a.size(), 0.0f);
    omp_set_num_threads(threads);
    const auto cpu = [] {
        timespec t{};
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
        return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
    };
    (void)dnnl_sgemm('N', 'N', n, n, n, 1.0f, a.data(), n, b.data(), n, 0.0f, c.data(), n);
    const double start = cpu();
    constexpr int kRepeats = 3;
    for (int i = 0; i < kRepeats; ++i)
        (void)dnnl_sgemm('N', 'N', n, n, n, 1.0f, a.data(), n, b.data(), n, 0.0f, c.data(), n);
    return (cpu() - start) / kRepeats;
}

std::vector<Shape> Network::outputShapes(const std::vector<Shape>& inputShapes,
                                         const std::vector<std::string>& outputs) const {
    std::vector<std::string> wanted = outputs;
    if (wanted.empty())
        for (const auto& output : m_impl->outputs)
            wanted.push_back(output.name);
    std::vector<bool> needed;
    const auto values = m_impl->evaluate(inputShapes, needed, wanted);
    std::vector<Shape> shapes;
    shapes.reserve(wanted.size());
    for (const std::string& name : wanted)
        shapes.push_back(values.at(name).shape);
    return shapes;
}

std::vector<OutputTensor> Network::run(const std::vector<InputTensor>& inputs,
                                       const std::vector<std::string>& outputs,
                                       const PassOptions& options) const {
    Impl& impl = *m_impl;
    std::vector<std::string> wanted = outputs;
    if (wanted.empty())
        for (const auto& output : impl.outputs)
            wanted.push_back(output.name);
    // Inputs in the graph's order, whatever order the caller gave them in.
    std::vector<const InputTensor*> ordered;
    for (const TensorInfo& declared : impl.inputs) {
        const auto found = std::find_if(inputs.begin(), inputs.end(), [&](const InputTensor& t) {
            return t.name == declared.name || (impl.inputs.size() == 1 && inputs.size() == 1);
        });
        if (found == inputs.end() || !found->data)
            throw InferenceError(impl.fileName + " needs its input \"" + declared.name + "\"");
        ordered.push_back(&*found);
    }
    std::vector<Shape> shapes;
    shapes.reserve(ordered.size());
    for (const InputTensor* input : ordered)
        shapes.push_back(input->shape);

    const std::lock_guard lock(impl.mutex);
    struct Running {
        Running() { ++runningPasses; }
        ~Running() { --runningPasses; }
    } running;

    // The pass's share of the cores, fixed for the whole pass.
    const int threads = threadsPerPass();
    omp_set_num_threads(threads);
    const Precision precision = precisionSetting;
    std::shared_ptr<Plan> plan;
    for (auto it = impl.plans.begin(); it != impl.plans.end(); ++it) {
        if ((*it)->inputShapes == shapes && (*it)->outputNames == wanted &&
            (*it)->threads == threads && (*it)->winograd == winogradAllowed &&
            (*it)->precision == precision) {
            plan = *it;
            impl.plans.erase(it);
            break;
        }
    }
    if (!plan) {
        try {
            plan = impl.plan(shapes, wanted, precision);
            plan->threads = threads;
            plan->winograd = winogradAllowed;
        } catch (const dnnl::error& error) {
            throw InferenceError(impl.fileName +
                                 ": oneDNN cannot run this network: " + error.what());
        }
    }
    impl.plans.push_front(plan);
    // Two sizes at most (a batch's tiles and its smaller last ones).
    while (impl.plans.size() > 2)
        impl.plans.pop_back();
    // Only the plan in use holds working memory.
    for (const auto& other : impl.plans) {
        if (other != plan) {
            other->memories.clear();
            other->buffers.clear();
            other->scratchpadBuffer.reset();
        }
    }

    if (plan->buffers.empty() && !plan->bufferSizes.empty()) {
        for (const std::size_t size : plan->bufferSizes)
            plan->buffers.push_back(allocate(size, impl.fileName));
        plan->scratchpadBuffer = allocate(plan->scratchpadSize, impl.fileName);
        plan->memories.clear();
        for (const TensorSlot& t : plan->tensors)
            plan->memories.emplace_back(t.desc, impl.engine,
                                        t.external ? static_cast<void*>(nullptr)
                                                   : plan->buffers[std::size_t(t.buffer)].get());
    } else if (plan->memories.empty()) {
        plan->scratchpadBuffer = allocate(plan->scratchpadSize, impl.fileName);
        for (const TensorSlot& t : plan->tensors)
            plan->memories.emplace_back(t.desc, impl.engine, static_cast<void*>(nullptr));
    }
    std::vector<OutputTensor> results;
    for (std::size_t i = 0; i < ordered.size(); ++i)
        plan->memories[std::size_t(plan->inputTensors[i])].set_data_handle(
            const_cast<float*>(ordered[i]->data));
    for (std::size_t i = 0; i < wanted.size(); ++i) {
        OutputTensor out{wanted[i], plan->outputShapes[i], {}};
        out.data.resize(std::size_t(elements(out.shape)));
        results.push_back(std::move(out));
    }
    for (std::size_t i = 0; i < results.size(); ++i)
        plan->memories[std::size_t(plan->outputTensors[i])].set_data_handle(results[i].data.data());

    dnnl::stream stream(impl.engine);
    impl.lastWork = plan->totalWork;
    double done = 0;
    try {
        for (const Step& step : plan->steps) {
            if (options.cancelled && options.cancelled())
                throw InferenceCancelled();
            std::unordered_map<int, memory> args = step.constantArgs;
            for (const auto& [arg, id] : step.tensorArgs)
                args.emplace(arg, plan->memories[std::size_t(id)]);
            for (const auto& [arg, desc] : step.views)
                args[arg] = memory(desc, impl.engine, args.at(arg).get_data_handle());
            if (step.scratchpad.get_size() > 0)
                args.emplace(DNNL_ARG_SCRATCHPAD,
                             memory(step.scratchpad, impl.engine, plan->scratchpadBuffer.get()));
            step.primitive.execute(stream, args);
            stream.wait();
            done += step.work;
            if (options.progress)
                options.progress(std::min(1.0, done / plan->totalWork));
        }
    } catch (const dnnl::error& error) {
        throw InferenceError(impl.fileName + ": the pass failed: " + error.what());
    } catch (...) {
        if (options.releaseWorkingMemory) {
            plan->memories.clear();
            plan->buffers.clear();
            plan->scratchpadBuffer.reset();
        }
        throw;
    }
    if (options.releaseWorkingMemory) {
        plan->memories.clear();
        plan->buffers.clear();
        plan->scratchpadBuffer.reset();
    }
    return results;
}

} // namespace glintwork::inference
