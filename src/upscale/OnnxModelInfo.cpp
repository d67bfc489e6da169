#include "upscale/OnnxModelInfo.h"

#include <QFile>
#include <QSet>

namespace glintwork {

namespace {

// Just enough of the protobuf wire format to walk the fields we need and skip the rest.
class WireReader {
public:
    explicit WireReader(QByteArrayView bytes) : m_bytes(bytes) {}

    [[nodiscard]] bool atEnd() const { return m_at >= m_bytes.size(); }
    [[nodiscard]] bool failed() const { return m_failed; }

    struct Field {
        std::uint32_t number = 0;
        int wireType = 0;
        std::uint64_t varint = 0;
        QByteArrayView bytes;
    };

    std::optional<Field> next() {
        const auto key = varint();
        if (!key)
            return std::nullopt;
        Field field;
        field.number = std::uint32_t(*key >> 3);
        field.wireType = int(*key & 7);
        switch (field.wireType) {
        case 0:
            if (const auto value = varint()) {
                field.varint = *value;
                return field;
            }
            return fail();
        case 1:
            return skip(8) ? std::optional(field) : fail();
        case 5:
            return skip(4) ? std::optional(field) : fail();
        case 2: {
            const auto length = varint();
            if (!length || *length > std::uint64_t(m_bytes.size() - m_at))
                return fail();
            field.bytes = m_bytes.sliced(m_at, qsizetype(*length));
            m_at += qsizetype(*length);
            return field;
        }
        default:
            return fail();
        }
    }

private:
    std::optional<std::uint64_t> varint() {
        std::uint64_t value = 0;
        for (int shift = 0; shift < 64 && m_at < m_bytes.size(); shift += 7) {
            const auto byte = std::uint8_t(m_bytes[m_at++]);
            value |= std::uint64_t(byte & 0x7f) << shift;
            if ((byte & 0x80) == 0)
                return value;
        }
        m_failed = true;
        return std::nullopt;
    }
    bool skip(qsizetype count) {
        if (m_bytes.size() - m_at < count)
            return false;
        m_at += count;
        return true;
    }
    std::optional<Field> fail() {
        m_failed = true;
        return std::nullopt;
    }

    QByteArrayView m_bytes;
    qsizetype m_at = 0;
    bool m_failed = false;
};

// Field numbers of onnx.proto.
constexpr std::uint32_t kModelGraph = 7;
constexpr std::uint32_t kModelMetadata = 14;
constexpr std::uint32_t kEntryKey = 1;
constexpr std::uint32_t kEntryValue = 2;
constexpr std::uint32_t kGraphInitializer = 5;
constexpr std::uint32_t kGraphInput = 11;
constexpr std::uint32_t kGraphOutput = 12;
constexpr std::uint32_t kTensorName = 8;
constexpr std::uint32_t kValueInfoName = 1;
constexpr std::uint32_t kValueInfoType = 2;
constexpr std::uint32_t kTypeTensor = 1;
constexpr std::uint32_t kTensorTypeShape = 2;
constexpr std::uint32_t kShapeDim = 1;
constexpr std::uint32_t kDimValue = 1;

template <typename Visit>
bool forEachField(QByteArrayView bytes, Visit visit) {
    WireReader reader(bytes);
    while (!reader.atEnd()) {
        const auto field = reader.next();
        if (!field)
            return false;
        visit(*field);
    }
    return !reader.failed();
}

std::optional<QByteArrayView> firstBytesField(QByteArrayView bytes, std::uint32_t number) {
    std::optional<QByteArrayView> found;
    forEachField(bytes, [&](const WireReader::Field& f) {
        if (!found && f.number == number && f.wireType == 2)
            found = f.bytes;
    });
    return found;
}

struct ValueInfo {
    QString name;
    std::vector<std::int64_t> shape;
};

ValueInfo readValueInfo(QByteArrayView bytes) {
    ValueInfo info;
    forEachField(bytes, [&](const WireReader::Field& f) {
        if (f.number == kValueInfoName && f.wireType == 2)
            info.name = QString::fromUtf8(f.bytes);
    });
    const auto type = firstBytesField(bytes, kValueInfoType);
    const auto tensor = type ? firstBytesField(*type, kTypeTensor) : std::nullopt;
    const auto shape = tensor ? firstBytesField(*tensor, kTensorTypeShape) : std::nullopt;
    if (shape) {
        forEachField(*shape, [&](const WireReader::Field& dim) {
            if (dim.number != kShapeDim || dim.wireType != 2)
                return;
            std::int64_t value = -1;
            forEachField(dim.bytes, [&](const WireReader::Field& f) {
                if (f.number == kDimValue && f.wireType == 0)
                    value = std::int64_t(f.varint);
            });
            info.shape.push_back(value);
        });
    }
    return info;
}

} // namespace

std::optional<OnnxModelInfo> OnnxModelInfo::parse(QByteArrayView bytes) {
    std::optional<QByteArrayView> graph;
    OnnxModelInfo info;
    if (!forEachField(bytes, [&](const WireReader::Field& f) {
            if (f.wireType != 2)
                return;
            if (f.number == kModelGraph) {
                graph = f.bytes;
            } else if (f.number == kModelMetadata) {
                QString key;
                QString value;
                forEachField(f.bytes, [&](const WireReader::Field& e) {
                    if (e.number == kEntryKey && e.wireType == 2)
                        key = QString::fromUtf8(e.bytes);
                    else if (e.number == kEntryValue && e.wireType == 2)
                        value = QString::fromUtf8(e.bytes);
                });
                info.metadata.insert(key, value);
            }
        }) ||
        !graph)
        return std::nullopt;

    QSet<QString> weights;
    std::vector<ValueInfo> inputs;
    const bool ok = forEachField(*graph, [&](const WireReader::Field& f) {
        if (f.wireType != 2)
            return;
        if (f.number == kGraphInitializer) {
            forEachField(f.bytes, [&](const WireReader::Field& t) {
                if (t.number == kTensorName && t.wireType == 2)
                    weights.insert(QString::fromUtf8(t.bytes));
            });
        } else if (f.number == kGraphInput) {
            inputs.push_back(readValueInfo(f.bytes));
        } else if (f.number == kGraphOutput) {
            info.outputNames.push_back(readValueInfo(f.bytes).name);
        }
    });
    if (!ok)
        return std::nullopt;
    // Older exporters list the weights among the inputs as well.
    for (const auto& input : inputs) {
        if (weights.contains(input.name))
            continue;
        if (info.inputNames.empty())
            info.firstInputShape = input.shape;
        info.inputNames.push_back(input.name);
    }
    return info;
}

std::optional<OnnxModelInfo> OnnxModelInfo::read(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const qint64 size = file.size();
    if (size <= 0)
        return std::nullopt;
    if (uchar* mapped = file.map(0, size))
        return parse(QByteArrayView(reinterpret_cast<const char*>(mapped), size));
    return parse(file.readAll());
}

} // namespace glintwork
