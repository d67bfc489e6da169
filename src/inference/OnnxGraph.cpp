#include "inference/OnnxGraph.h"

#include <cstring>
#include <set>

#include "inference/InferenceError.h"

namespace glintwork::inference {

namespace {

// Just enough of the protobuf wire format to walk the fields a pass needs and skip the rest.
struct Field {
    std::uint32_t number = 0;
    int wireType = 0;
    std::uint64_t varint = 0;
    std::uint32_t fixed32 = 0;
    std::string_view bytes;
};

class Malformed {};

class WireReader {
public:
    explicit WireReader(std::string_view bytes) : m_bytes(bytes) {}

    bool next(Field& field) {
        if (m_at >= m_bytes.size())
            return false;
        const std::uint64_t key = varint();
        field = Field{};
        field.number = std::uint32_t(key >> 3);
        field.wireType = int(key & 7);
        switch (field.wireType) {
        case 0:
            field.varint = varint();
            break;
        case 1:
            take(8);
            break;
        case 5: {
            const std::string_view four = take(4);
            std::memcpy(&field.fixed32, four.data(), 4);
            break;
        }
        case 2:
            field.bytes = take(varint());
            break;
        default:
            throw Malformed();
        }
        return true;
    }

    std::uint64_t varint() {
        std::uint64_t value = 0;
        for (int shift = 0; shift < 64 && m_at < m_bytes.size(); shift += 7) {
            const auto byte = std::uint8_t(m_bytes[m_at++]);
            value |= std::uint64_t(byte & 0x7f) << shift;
            if ((byte & 0x80) == 0)
                return value;
        }
        throw Malformed();
    }

    [[nodiscard]] bool atEnd() const { return m_at >= m_bytes.size(); }

private:
    std::string_view take(std::uint64_t count) {
        if (count > m_bytes.size() - m_at)
            throw Malformed();
        const std::string_view part = m_bytes.substr(m_at, std::size_t(count));
        m_at += std::size_t(count);
        return part;
    }

    std::string_view m_bytes;
    std::size_t m_at = 0;
};

template <typename Visit> void forEachField(std::string_view bytes, Visit visit) {
    WireReader reader(bytes);
    Field field;
    while (reader.next(field))
        visit(field);
}

// Repeated integers arrive packed (one length-delimited field) or one by one.
void appendIntegers(const Field& f, std::vector<std::int64_t>& to) {
    if (f.wireType == 0) {
        to.push_back(std::int64_t(f.varint));
    } else if (f.wireType == 2) {
        WireReader packed(f.bytes);
        while (!packed.atEnd())
            to.push_back(std::int64_t(packed.varint()));
    }
}

void appendFloats(const Field& f, std::vector<float>& to) {
    if (f.wireType == 5) {
        float value;
        std::memcpy(&value, &f.fixed32, 4);
        to.push_back(value);
    } else if (f.wireType == 2) {
        if (f.bytes.size() % 4 != 0)
            throw Malformed();
        const std::size_t first = to.size();
        to.resize(first + f.bytes.size() / 4);
        std::memcpy(to.data() + first, f.bytes.data(), f.bytes.size());
    }
}

std::string text(const Field& f) {
    return std::string(f.bytes);
}

// Element types of onnx.proto's TensorProto.DataType.
constexpr std::int64_t kFloat = 1;
constexpr std::int64_t kInt32 = 6;
constexpr std::int64_t kInt64 = 7;

std::pair<std::string, OnnxTensor> readTensor(std::string_view bytes, const std::string& fileName) {
    std::string name;
    OnnxTensor tensor;
    std::int64_t dataType = 0;
    bool external = false;
    forEachField(bytes, [&](const Field& f) {
        switch (f.number) {
        case 1:
            appendIntegers(f, tensor.dims);
            break;
        case 2:
            dataType = std::int64_t(f.varint);
            break;
        case 4:
            appendFloats(f, tensor.floats);
            break;
        case 5:
        case 7:
            appendIntegers(f, tensor.integers);
            break;
        case 8:
            name = text(f);
            break;
        case 9:
            tensor.raw = f.bytes;
            break;
        case 14:
            external = f.varint == 1;
            break;
        default:
            break;
        }
    });
    if (external)
        throw InferenceError(
            fileName + " keeps its weights in a separate file, which this program does not read");
    tensor.type = dataType == kFloat                         ? OnnxTensor::Type::float32
                  : dataType == kInt64 || dataType == kInt32 ? OnnxTensor::Type::int64
                                                             : OnnxTensor::Type::other;
    for (const std::int64_t d : tensor.dims) {
        if (d < 0)
            throw Malformed();
    }
    if (!tensor.raw.empty()) {
        const std::size_t elementSize = dataType == kFloat || dataType == kInt32 ? 4
                                        : dataType == kInt64                     ? 8
                                                                                 : 1;
        if (tensor.type != OnnxTensor::Type::other &&
            tensor.raw.size() != std::size_t(tensor.elementCount()) * elementSize)
            throw Malformed();
        if (dataType == kInt32 || dataType == kInt64) {
            for (std::size_t at = 0; at < tensor.raw.size(); at += elementSize) {
                if (elementSize == 4) {
                    std::int32_t v;
                    std::memcpy(&v, tensor.raw.data() + at, 4);
                    tensor.integers.push_back(v);
                } else {
                    std::int64_t v;
                    std::memcpy(&v, tensor.raw.data() + at, 8);
                    tensor.integers.push_back(v);
                }
            }
            tensor.raw = {};
        }
    } else {
        // Values stored as a list must be exactly as many as the dimensions say.
        const std::size_t listed = tensor.type == OnnxTensor::Type::float32 ? tensor.floats.size()
                                   : tensor.type == OnnxTensor::Type::int64 ? tensor.integers.size()
                                                                            : std::size_t(0);
        if (tensor.type != OnnxTensor::Type::other && std::int64_t(listed) != tensor.elementCount())
            throw Malformed();
    }
    return {name, std::move(tensor)};
}

OnnxValueInfo readValueInfo(std::string_view bytes) {
    OnnxValueInfo info;
    forEachField(bytes, [&](const Field& f) {
        if (f.number == 1 && f.wireType == 2)
            info.name = text(f);
        if (f.number != 2 || f.wireType != 2)
            return;
        forEachField(f.bytes, [&](const Field& type) { // TypeProto.tensor_type
            if (type.number != 1 || type.wireType != 2)
                return;
            forEachField(type.bytes, [&](const Field& tensor) { // TypeProto.Tensor.shape
                if (tensor.number != 2 || tensor.wireType != 2)
                    return;
                forEachField(tensor.bytes, [&](const Field& dim) {
                    if (dim.number != 1 || dim.wireType != 2)
                        return;
                    std::int64_t value = -1;
                    forEachField(dim.bytes, [&](const Field& d) {
                        if (d.number == 1 && d.wireType == 0)
                            value = std::int64_t(d.varint);
                    });
                    info.shape.push_back(value);
                });
            });
        });
    });
    return info;
}

OnnxNode readNode(std::string_view bytes, const std::string& fileName) {
    OnnxNode node;
    forEachField(bytes, [&](const Field& f) {
        if (f.wireType != 2)
            return;
        switch (f.number) {
        case 1:
            node.inputs.push_back(text(f));
            break;
        case 2:
            node.outputs.push_back(text(f));
            break;
        case 3:
            node.name = text(f);
            break;
        case 4:
            node.op = text(f);
            break;
        case 5: {
            std::string name;
            OnnxAttribute attribute;
            forEachField(f.bytes, [&](const Field& a) {
                switch (a.number) {
                case 1:
                    name = text(a);
                    break;
                case 2:
                    std::memcpy(&attribute.f, &a.fixed32, 4);
                    break;
                case 3:
                    attribute.i = std::int64_t(a.varint);
                    break;
                case 4:
                    attribute.s = text(a);
                    break;
                case 5:
                    attribute.t =
                        std::make_shared<OnnxTensor>(readTensor(a.bytes, fileName).second);
                    break;
                case 7:
                    appendFloats(a, attribute.floats);
                    break;
                case 8:
                    appendIntegers(a, attribute.ints);
                    break;
                default:
                    break;
                }
            });
            node.attributes[name] = std::move(attribute);
            break;
        }
        default:
            break;
        }
    });
    return node;
}

} // namespace

std::int64_t OnnxTensor::elementCount() const {
    std::int64_t count = 1;
    for (const std::int64_t d : dims)
        count *= d;
    return count;
}

std::vector<float> OnnxTensor::toFloats() const {
    if (type == Type::int64)
        return {integers.begin(), integers.end()};
    if (!raw.empty()) {
        std::vector<float> values(raw.size() / 4);
        std::memcpy(values.data(), raw.data(), values.size() * 4);
        return values;
    }
    return floats;
}

std::vector<std::int64_t> OnnxTensor::toIntegers() const {
    if (type == Type::int64)
        return integers;
    std::vector<std::int64_t> values;
    for (const float v : toFloats())
        values.push_back(std::int64_t(v));
    return values;
}

const OnnxAttribute* OnnxNode::attribute(const std::string& key) const {
    const auto found = attributes.find(key);
    return found == attributes.end() ? nullptr : &found->second;
}

std::int64_t OnnxNode::integer(const std::string& key, std::int64_t fallback) const {
    const OnnxAttribute* a = attribute(key);
    return a ? a->i : fallback;
}

float OnnxNode::real(const std::string& key, float fallback) const {
    const OnnxAttribute* a = attribute(key);
    return a ? a->f : fallback;
}

std::string OnnxNode::text(const std::string& key, const std::string& fallback) const {
    const OnnxAttribute* a = attribute(key);
    return a ? a->s : fallback;
}

std::vector<std::int64_t> OnnxNode::integers(const std::string& key,
                                             const std::vector<std::int64_t>& fallback) const {
    const OnnxAttribute* a = attribute(key);
    return a ? a->ints : fallback;
}

OnnxGraph OnnxGraph::parse(std::string_view bytes, const std::string& fileName) {
    OnnxGraph graph;
    try {
        std::string_view graphBytes;
        forEachField(bytes, [&](const Field& f) {
            if (f.wireType != 2)
                return;
            if (f.number == 7) {
                graphBytes = f.bytes;
            } else if (f.number == 14) {
                std::string key, value;
                forEachField(f.bytes, [&](const Field& e) {
                    if (e.number == 1 && e.wireType == 2)
                        key = text(e);
                    else if (e.number == 2 && e.wireType == 2)
                        value = text(e);
                });
                graph.metadata[key] = value;
            }
        });
        std::vector<OnnxValueInfo> inputs;
        forEachField(graphBytes, [&](const Field& f) {
            if (f.wireType != 2)
                return;
            if (f.number == 1)
                graph.nodes.push_back(readNode(f.bytes, fileName));
            else if (f.number == 5)
                graph.initializers.insert(readTensor(f.bytes, fileName));
            else if (f.number == 11)
                inputs.push_back(readValueInfo(f.bytes));
            else if (f.number == 12)
                graph.outputs.push_back(readValueInfo(f.bytes));
        });
        // Older exporters list the weights among the inputs as well.
        for (auto& input : inputs) {
            if (!graph.initializers.count(input.name))
                graph.inputs.push_back(std::move(input));
        }
    } catch (const Malformed&) {
        throw InferenceError(fileName + " is damaged or truncated: it is not a whole ONNX network");
    }
    if (graph.nodes.empty() || graph.inputs.empty() || graph.outputs.empty())
        throw InferenceError(fileName + " holds no ONNX network");
    return graph;
}

} // namespace glintwork::inference
