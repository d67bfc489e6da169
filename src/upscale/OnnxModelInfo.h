#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include <QByteArrayView>
#include <QHash>
#include <QString>

namespace glintwork {

// The interface of an ONNX network as its file declares it: the graph's real inputs
// (weights excluded) and outputs in order, with the input's dimensions, where -1 marks a
// dimension the network leaves open, and its metadata. Read straight from the protobuf encoding, since the
// inference engine does not report input names.
struct OnnxModelInfo {
    std::vector<QString> inputNames;
    std::vector<QString> outputNames;
    std::vector<std::int64_t> firstInputShape;
    QHash<QString, QString> metadata;

    // Nothing when the bytes are not a well-formed ONNX model.
    [[nodiscard]] static std::optional<OnnxModelInfo> parse(QByteArrayView bytes);
    [[nodiscard]] static std::optional<OnnxModelInfo> read(const QString& path);
};

} // namespace glintwork
