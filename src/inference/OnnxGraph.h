#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace glintwork::inference {

// A constant tensor of the file: weights, or a value the graph's shape arithmetic works with.
// Floats point into the file's bytes where they are stored raw, so the weights are read
// only when a pass needs them in its own layout.
struct OnnxTensor {
    enum class Type { float32, int64, other };
    Type type = Type::other;
    std::vector<std::int64_t> dims;
    std::string_view raw;               // little-endian elements, possibly unaligned
    std::vector<float> floats;          // when stored as a repeated field
    std::vector<std::int64_t> integers; // int64 and int32 elements, widened

    [[nodiscard]] std::int64_t elementCount() const;
    // The elements as floats or as integers, whichever way they are stored.
    [[nodiscard]] std::vector<float> toFloats() const;
    [[nodiscard]] std::vector<std::int64_t> toIntegers() const;
};

struct OnnxAttribute {
    float f = 0;
    std::int64_t i = 0;
    std::string s;
    std::vector<std::int64_t> ints;
    std::vector<float> floats;
    std::shared_ptr<OnnxTensor> t;
};

struct OnnxNode {
    std::string op;
    std::string name;
    std::vector<std::string> inputs; // an empty name is an omitted optional input
    std::vector<std::string> outputs;
    std::map<std::string, OnnxAttribute> attributes;

    [[nodiscard]] const OnnxAttribute* attribute(const std::string& key) const;
    [[nodiscard]] std::int64_t integer(const std::string& key, std::int64_t fallback) const;
    [[nodiscard]] float real(const std::string& key, float fallback) const;
    [[nodiscard]] std::string text(const std::string& key, const std::string& fallback) const;
    [[nodiscard]] std::vector<std::int64_t>
    integers(const std::string& key, const std::vector<std::int64_t>& fallback) const;
};

struct OnnxValueInfo {
    std::string name;
    std::vector<std::int64_t> shape; // -1 for a dimension the graph leaves open
};

// The parts of an ONNX model a pass needs, read straight from the protobuf encoding.
struct OnnxGraph {
    std::vector<OnnxNode> nodes; // in the file's (topological) order
    std::map<std::string, OnnxTensor> initializers;
    std::vector<OnnxValueInfo> inputs; // the real inputs, weights excluded
    std::vector<OnnxValueInfo> outputs;
    std::map<std::string, std::string> metadata;

    // Throws InferenceError naming `fileName` when the bytes are not a whole ONNX model.
    // The views into `bytes` stay valid as long as the bytes do.
    [[nodiscard]] static OnnxGraph parse(std::string_view bytes, const std::string& fileName);
};

} // namespace glintwork::inference
