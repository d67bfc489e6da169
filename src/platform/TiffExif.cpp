#include "platform/TiffExif.h"

#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include <tiffio.h>

#include <QFile>
#include <QTemporaryFile>

namespace glintwork::TiffExif {
namespace {

constexpr std::uint16_t exifIFDTag = 34665;
constexpr std::uint16_t gpsIFDTag = 34853;
constexpr std::uint16_t interoperabilityIFDTag = 40965;
// A real EXIF directory has a few dozen entries and maker notes of some kilobytes; limits far
// above that keep a hostile block from asking for absurd allocations.
constexpr std::uint32_t maxEntries = 1024;
constexpr std::uint64_t maxValueBytes = 1 << 20;

// TIFF field types as stored in a directory entry.
enum FieldType : std::uint16_t {
    typeByte = 1,
    typeASCII = 2,
    typeShort = 3,
    typeLong = 4,
    typeRational = 5,
    typeSByte = 6,
    typeUndefined = 7,
    typeSShort = 8,
    typeSLong = 9,
    typeSRational = 10,
    typeFloat = 11,
    typeDouble = 12,
    typeIFD = 13, // how libtiff writes the EXIF pointer
};

int sizeOfType(std::uint16_t type) {
    switch (type) {
    case typeByte:
    case typeASCII:
    case typeSByte:
    case typeUndefined:
        return 1;
    case typeShort:
    case typeSShort:
        return 2;
    case typeLong:
    case typeSLong:
    case typeFloat:
    case typeIFD:
        return 4;
    case typeRational:
    case typeSRational:
    case typeDouble:
        return 8;
    default:
        return 0;
    }
}

// A classic TIFF block in either byte order; every read is bounds-checked.
class TiffBlock {
public:
    TiffBlock(const unsigned char* data, std::uint64_t size) : m_data(data), m_size(size) {}

    // False for anything that does not start with a classic TIFF header.
    bool readHeader() {
        if (m_size < 8)
            return false;
        if (m_data[0] == 'I' && m_data[1] == 'I')
            m_little = true;
        else if (m_data[0] == 'M' && m_data[1] == 'M')
            m_little = false;
        else
            return false;
        return u16(2) == 42;
    }

    [[nodiscard]] bool little() const { return m_little; }
    [[nodiscard]] const unsigned char* data() const { return m_data; }
    [[nodiscard]] bool contains(std::uint64_t offset, std::uint64_t length) const {
        return offset <= m_size && length <= m_size - offset;
    }

    [[nodiscard]] std::uint16_t u16(std::uint64_t offset) const {
        if (!contains(offset, 2))
            return 0;
        const unsigned char* b = m_data + offset;
        return m_little ? std::uint16_t(b[0] | (b[1] << 8)) : std::uint16_t((b[0] << 8) | b[1]);
    }
    [[nodiscard]] std::uint32_t u32(std::uint64_t offset) const {
        if (!contains(offset, 4))
            return 0;
        const unsigned char* b = m_data + offset;
        return m_little ? std::uint32_t(b[0]) | (std::uint32_t(b[1]) << 8) |
                              (std::uint32_t(b[2]) << 16) | (std::uint32_t(b[3]) << 24)
                        : (std::uint32_t(b[0]) << 24) | (std::uint32_t(b[1]) << 16) |
                              (std::uint32_t(b[2]) << 8) | std::uint32_t(b[3]);
    }

private:
    const unsigned char* m_data;
    std::uint64_t m_size;
    bool m_little = true;
};

struct Entry {
    std::uint16_t tag = 0;
    std::uint16_t type = 0;
    std::uint32_t count = 0;
    std::uint64_t valueOffset = 0; // where the value bytes start within the block
};

// The entries of the directory at `offset`; each entry whose value lies outside the block
// or whose type is unknown is left out. Nothing when the directory itself does not fit.
std::optional<std::vector<Entry>> entriesAt(const TiffBlock& block, std::uint64_t offset) {
    if (offset < 8 || !block.contains(offset, 2))
        return std::nullopt;
    const std::uint32_t count = block.u16(offset);
    if (count > maxEntries || !block.contains(offset + 2, std::uint64_t(count) * 12))
        return std::nullopt;
    std::vector<Entry> entries;
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint64_t at = offset + 2 + std::uint64_t(i) * 12;
        Entry entry{block.u16(at), block.u16(at + 2), block.u32(at + 4), at + 8};
        const int size = sizeOfType(entry.type);
        if (size == 0 || entry.count == 0)
            continue;
        const std::uint64_t bytes = std::uint64_t(entry.count) * std::uint64_t(size);
        if (bytes > maxValueBytes)
            continue;
        if (bytes > 4)
            entry.valueOffset = block.u32(at + 8);
        if (!block.contains(entry.valueOffset, bytes))
            continue;
        entries.push_back(entry);
    }
    return entries;
}

// The EXIF sub-IFD entries of a TIFF block: IFD0's EXIF pointer, followed.
std::optional<std::vector<Entry>> exifEntriesOf(const TiffBlock& block) {
    const auto ifd0 = entriesAt(block, block.u32(4));
    if (!ifd0)
        return std::nullopt;
    for (const Entry& entry : *ifd0)
        if (entry.tag == exifIFDTag && (entry.type == typeLong || entry.type == typeIFD) &&
            entry.count == 1)
            return entriesAt(block, block.u32(entry.valueOffset));
    return std::nullopt;
}

// One entry's values, decoded to what libtiff is handed.
struct Values {
    enum class Kind { ascii, bytes, numbers } kind = Kind::numbers;
    std::string text;
    std::vector<std::uint8_t> bytes;
    std::vector<double> numbers;
};

std::optional<Values> decode(const TiffBlock& block, const Entry& entry) {
    Values values;
    const unsigned char* at = block.data() + entry.valueOffset;
    switch (entry.type) {
    case typeASCII: {
        values.kind = Values::Kind::ascii;
        const auto* text = reinterpret_cast<const char*>(at);
        values.text.assign(text, strnlen(text, entry.count));
        return values;
    }
    case typeByte:
    case typeSByte:
    case typeUndefined:
        values.kind = Values::Kind::bytes;
        values.bytes.assign(at, at + entry.count);
        return values;
    default:
        break;
    }
    const int size = sizeOfType(entry.type);
    values.numbers.reserve(entry.count);
    for (std::uint32_t i = 0; i < entry.count; ++i) {
        const std::uint64_t offset = entry.valueOffset + std::uint64_t(i) * size;
        switch (entry.type) {
        case typeShort:
            values.numbers.push_back(block.u16(offset));
            break;
        case typeSShort:
            values.numbers.push_back(std::int16_t(block.u16(offset)));
            break;
        case typeLong:
            values.numbers.push_back(block.u32(offset));
            break;
        case typeSLong:
            values.numbers.push_back(std::int32_t(block.u32(offset)));
            break;
        case typeRational:
        case typeSRational: {
            const std::uint32_t n = block.u32(offset);
            const std::uint32_t d = block.u32(offset + 4);
            if (d == 0)
                return std::nullopt;
            values.numbers.push_back(entry.type == typeRational
                                         ? double(n) / double(d)
                                         : double(std::int32_t(n)) / double(std::int32_t(d)));
            break;
        }
        case typeFloat: {
            const std::uint32_t bits = block.u32(offset);
            float value = 0;
            std::memcpy(&value, &bits, sizeof value);
            values.numbers.push_back(value);
            break;
        }
        case typeDouble: {
            const std::uint64_t bits = block.little()
                                           ? std::uint64_t(block.u32(offset)) |
                                                 (std::uint64_t(block.u32(offset + 4)) << 32)
                                           : (std::uint64_t(block.u32(offset)) << 32) |
                                                 std::uint64_t(block.u32(offset + 4));
            double value = 0;
            std::memcpy(&value, &bits, sizeof value);
            values.numbers.push_back(value);
            break;
        }
        default:
            return std::nullopt;
        }
    }
    return values;
}

bool isFloatingType(TIFFDataType type) {
    return type == TIFF_RATIONAL || type == TIFF_SRATIONAL || type == TIFF_FLOAT ||
           type == TIFF_DOUBLE;
}

bool isSignedType(TIFFDataType type) {
    return type == TIFF_SBYTE || type == TIFF_SSHORT || type == TIFF_SLONG ||
           type == TIFF_SLONG8;
}

bool isByteType(TIFFDataType type) {
    return type == TIFF_BYTE || type == TIFF_SBYTE || type == TIFF_UNDEFINED;
}

// Integers must fit the field's storage exactly; a value that does not is malformed data.
bool fitsInteger(double value, int size, bool isSigned) {
    if (!std::isfinite(value) || value != std::floor(value))
        return false;
    const int bits = size * 8;
    if (isSigned)
        return value >= -std::ldexp(1.0, bits - 1) && value < std::ldexp(1.0, bits - 1);
    return value >= 0 && value < std::ldexp(1.0, bits);
}

// Values packed in libtiff's internal storage for a field (element size from libtiff).
std::optional<std::vector<unsigned char>> packed(const std::vector<double>& numbers, int size,
                                                 TIFFDataType type) {
    std::vector<unsigned char> out(numbers.size() * std::size_t(size));
    for (std::size_t i = 0; i < numbers.size(); ++i) {
        unsigned char* at = out.data() + i * std::size_t(size);
        const double value = numbers[i];
        if (isFloatingType(type)) {
            if (size == 4) {
                const float f = float(value);
                std::memcpy(at, &f, 4);
            } else if (size == 8) {
                std::memcpy(at, &value, 8);
            } else {
                return std::nullopt;
            }
            continue;
        }
        const bool isSigned = isSignedType(type);
        if (!fitsInteger(value, size, isSigned))
            return std::nullopt;
        switch (size) {
        case 1: {
            const auto v = std::uint8_t(std::int64_t(value));
            std::memcpy(at, &v, 1);
            break;
        }
        case 2: {
            const auto v = std::uint16_t(std::int64_t(value));
            std::memcpy(at, &v, 2);
            break;
        }
        case 4: {
            const auto v = std::uint32_t(std::int64_t(value));
            std::memcpy(at, &v, 4);
            break;
        }
        case 8: {
            const auto v = std::uint64_t(std::int64_t(value));
            std::memcpy(at, &v, 8);
            break;
        }
        default:
            return std::nullopt;
        }
    }
    return out;
}

// Hands one entry to libtiff in the form its field definition asks for; false when the
// entry does not match what libtiff expects for that tag.
bool setEntry(TIFF* tif, const TiffBlock& block, const Entry& entry) {
    if (entry.tag == exifIFDTag || entry.tag == gpsIFDTag || entry.tag == interoperabilityIFDTag)
        return false; // pointers into the source block would dangle here
    const TIFFField* field = TIFFFindField(tif, entry.tag, TIFF_ANY);
    if (!field || TIFFFieldIsAnonymous(field))
        return false;
    const TIFFDataType type = TIFFFieldDataType(field);
    if (type == TIFF_IFD || type == TIFF_IFD8)
        return false;
    const auto values = decode(block, entry);
    if (!values)
        return false;

    if (type == TIFF_ASCII) {
        if (values->kind != Values::Kind::ascii)
            return false;
        return TIFFSetField(tif, entry.tag, values->text.c_str()) == 1;
    }

    std::vector<double> numbers = values->numbers;
    if (isByteType(type)) {
        if (values->kind != Values::Kind::bytes)
            return false;
        numbers.clear();
        for (const std::uint8_t b : values->bytes)
            numbers.push_back(type == TIFF_SBYTE ? double(std::int8_t(b)) : double(b));
    } else if (values->kind != Values::Kind::numbers) {
        return false;
    }

    const int size = TIFFFieldSetGetSize(field);
    const auto storage = packed(numbers, size, type);
    if (!storage || numbers.empty())
        return false;
    const std::uint32_t count = std::uint32_t(numbers.size());

    if (TIFFFieldPassCount(field)) {
        const int countSize = TIFFFieldSetGetCountSize(field);
        if (countSize == 2 && count <= 0xFFFF)
            return TIFFSetField(tif, entry.tag, int(count), storage->data()) == 1;
        if (countSize == 4)
            return TIFFSetField(tif, entry.tag, count, storage->data()) == 1;
        return false;
    }
    const int writeCount = TIFFFieldWriteCount(field);
    if (writeCount > 1)
        return int(count) == writeCount &&
               TIFFSetField(tif, entry.tag, storage->data()) == 1;
    if (writeCount != 1 || count != 1)
        return false;
    // Single values travel through varargs, so they are promoted the way libtiff reads them.
    const double value = numbers.front();
    if (isFloatingType(type))
        return TIFFSetField(tif, entry.tag, value) == 1;
    switch (size) {
    case 1:
    case 2:
        return TIFFSetField(tif, entry.tag, int(std::int64_t(value))) == 1;
    case 4:
        return isSignedType(type)
                   ? TIFFSetField(tif, entry.tag, std::int32_t(value)) == 1
                   : TIFFSetField(tif, entry.tag, std::uint32_t(std::int64_t(value))) == 1;
    case 8:
        return isSignedType(type)
                   ? TIFFSetField(tif, entry.tag, std::int64_t(value)) == 1
                   : TIFFSetField(tif, entry.tag, std::uint64_t(std::int64_t(value))) == 1;
    default:
        return false;
    }
}

// libtiff reports through handlers; a failure of any step means the EXIF directory is
// dropped, and nothing reaches the terminal of a CLI run.
int recordProblem(TIFF*, void* userData, const char*, const char*, va_list) {
    if (userData)
        *static_cast<bool*>(userData) = true;
    return 1;
}
int ignoreWarning(TIFF*, void*, const char*, const char*, va_list) { return 1; }

struct TiffCloser {
    void operator()(TIFF* tif) const { TIFFClose(tif); }
};
struct OptionsFreer {
    void operator()(TIFFOpenOptions* options) const { TIFFOpenOptionsFree(options); }
};

std::optional<TiffBlock> exifTiffBlock(const QByteArray& exif) {
    static constexpr char prefix[] = {'E', 'x', 'i', 'f', '\0', '\0'};
    const auto* data = reinterpret_cast<const unsigned char*>(exif.constData());
    std::uint64_t size = std::uint64_t(exif.size());
    if (size >= sizeof prefix && std::memcmp(data, prefix, sizeof prefix) == 0) {
        data += sizeof prefix;
        size -= sizeof prefix;
    }
    TiffBlock block(data, size);
    if (!block.readHeader())
        return std::nullopt;
    return block;
}

// Appends an EXIF directory to the TIFF file at `path` and links it from directory 0.
bool addExifDirectory(const QByteArray& path, const TiffBlock& block,
                      const std::vector<Entry>& entries) {
    bool failed = false;
    const std::unique_ptr<TIFFOpenOptions, OptionsFreer> options(TIFFOpenOptionsAlloc());
    if (!options)
        return false;
    TIFFOpenOptionsSetErrorHandlerExtR(options.get(), recordProblem, &failed);
    TIFFOpenOptionsSetWarningHandlerExtR(options.get(), ignoreWarning, nullptr);
    const std::unique_ptr<TIFF, TiffCloser> tif(TIFFOpenExt(path.constData(), "r+",
                                                            options.get()));
    if (!tif || failed || TIFFCreateEXIFDirectory(tif.get()) != 0)
        return false;
    int written = 0;
    for (const Entry& entry : entries)
        written += setEntry(tif.get(), block, entry) ? 1 : 0;
    if (written == 0 || failed)
        return false;
    std::uint64_t exifOffset = 0;
    if (!TIFFWriteCustomDirectory(tif.get(), &exifOffset) || failed)
        return false;
    if (!TIFFSetDirectory(tif.get(), 0) ||
        !TIFFSetField(tif.get(), TIFFTAG_EXIFIFD, exifOffset) ||
        !TIFFRewriteDirectory(tif.get()) || failed)
        return false;
    return true;
}

void append16(QByteArray& out, std::uint16_t value, bool little) {
    const char b[2] = {char(little ? value & 0xFF : value >> 8),
                       char(little ? value >> 8 : value & 0xFF)};
    out.append(b, 2);
}
void append32(QByteArray& out, std::uint32_t value, bool little) {
    for (int i = 0; i < 4; ++i)
        out.append(char((value >> (little ? 8 * i : 8 * (3 - i))) & 0xFF));
}

} // namespace

QByteArray withExifDirectory(const QByteArray& tiff, const QByteArray& exif) {
    try {
        const auto block = exifTiffBlock(exif);
        if (!block)
            return tiff;
        const auto entries = exifEntriesOf(*block);
        if (!entries || entries->empty())
            return tiff;

        QTemporaryFile file;
        if (!file.open() || file.write(tiff) != tiff.size() || !file.flush())
            return tiff;
        const QByteArray path = QFile::encodeName(file.fileName());
        if (!addExifDirectory(path, *block, *entries))
            return tiff;
        QFile result(file.fileName());
        if (!result.open(QIODevice::ReadOnly))
            return tiff;
        const QByteArray withExif = result.readAll();
        return withExif.size() > tiff.size() ? withExif : tiff;
    } catch (...) {
        return tiff;
    }
}

std::optional<QByteArray> exifOf(const QString& path) {
    try {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly) || file.size() < 8)
            return std::nullopt;
        const uchar* mapped = file.map(0, file.size());
        if (!mapped)
            return std::nullopt;
        TiffBlock block(mapped, std::uint64_t(file.size()));
        if (!block.readHeader())
            return std::nullopt;
        const auto entries = exifEntriesOf(block);
        if (!entries || entries->empty())
            return std::nullopt;

        // Layout: header, an IFD0 holding only the EXIF pointer, the EXIF directory, then
        // the values too long to sit in their entries, each on a word boundary.
        const bool little = block.little();
        const std::uint32_t exifAt = 8 + 2 + 12 + 4;
        const std::uint32_t count = std::uint32_t(entries->size());
        std::uint32_t dataAt = exifAt + 2 + count * 12 + 4;

        QByteArray tiff;
        tiff.append(little ? "II" : "MM", 2);
        append16(tiff, 42, little);
        append32(tiff, 8, little);
        append16(tiff, 1, little);
        append16(tiff, exifIFDTag, little);
        append16(tiff, typeLong, little);
        append32(tiff, 1, little);
        append32(tiff, exifAt, little);
        append32(tiff, 0, little);

        QByteArray data;
        append16(tiff, std::uint16_t(count), little);
        for (const Entry& entry : *entries) {
            const std::uint32_t bytes = entry.count * std::uint32_t(sizeOfType(entry.type));
            const auto* value = reinterpret_cast<const char*>(mapped + entry.valueOffset);
            append16(tiff, entry.tag, little);
            append16(tiff, entry.type, little);
            append32(tiff, entry.count, little);
            if (bytes <= 4) {
                QByteArray inline4(value, bytes);
                inline4.resize(4, '\0');
                tiff.append(inline4);
            } else {
                append32(tiff, dataAt + std::uint32_t(data.size()), little);
                data.append(value, bytes);
                if (data.size() % 2)
                    data.append('\0');
            }
        }
        append32(tiff, 0, little);
        return QByteArray("Exif\0\0", 6) + tiff + data;
    } catch (...) {
        return std::nullopt;
    }
}

} // namespace glintwork::TiffExif
