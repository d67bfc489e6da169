#include "platform/PngContainer.h"

#include <algorithm>
#include <atomic>
#include <functional>
#include <system_error>
#include <thread>
#include <vector>

#include <zlib.h>

#include <QBuffer>
#include <QFile>

#include "platform/ThreadBudget.h"

namespace glintwork::PngContainer {

namespace {

constexpr int kBandRows = 256;
constexpr unsigned char kSubFilter = 1;

struct Band {
    QByteArray deflated;
    uLong adler = 1;
    uLong length = 0;
    bool ok = false;
};

// One band's filtered rows as raw deflate data, ended by a sync flush so that the next
// band's data follows it, or by the stream's end for the last band.
void compressBand(const Image& image, int first, int last, bool final, Band& band) {
    const int bytesPerPixel = image.bytesPerPixel();
    const std::size_t rowBytes = std::size_t(image.width) * std::size_t(bytesPerPixel);
    std::vector<unsigned char> filtered((rowBytes + 1) * std::size_t(last - first));
    unsigned char* out = filtered.data();
    for (int y = first; y < last; ++y) {
        const std::uint8_t* row = image.row(y);
        *out++ = kSubFilter;
        std::copy(row, row + bytesPerPixel, out);
        for (std::size_t i = std::size_t(bytesPerPixel); i < rowBytes; ++i)
            out[i] = static_cast<unsigned char>(row[i] - row[i - std::size_t(bytesPerPixel)]);
        out += rowBytes;
    }
    band.length = uLong(filtered.size());
    band.adler = adler32(adler32(0, nullptr, 0), filtered.data(), uInt(filtered.size()));

    z_stream stream{};
    if (deflateInit2(&stream, 1, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        return;
    band.deflated.resize(qsizetype(deflateBound(&stream, uLong(filtered.size()))) + 16);
    stream.next_in = filtered.data();
    stream.avail_in = uInt(filtered.size());
    stream.next_out = reinterpret_cast<Bytef*>(band.deflated.data());
    stream.avail_out = uInt(band.deflated.size());
    const int status = deflate(&stream, final ? Z_FINISH : Z_SYNC_FLUSH);
    band.ok = final ? status == Z_STREAM_END : status == Z_OK && stream.avail_in == 0;
    band.deflated.resize(qsizetype(stream.total_out));
    deflateEnd(&stream);
}

void appendBE32(QByteArray& out, quint32 value) {
    out.append(char(value >> 24)).append(char(value >> 16)).append(char(value >> 8)).append(char(value));
}

quint32 readBE32(const char* bytes) {
    const auto* b = reinterpret_cast<const unsigned char*>(bytes);
    return (quint32(b[0]) << 24) | (quint32(b[1]) << 16) | (quint32(b[2]) << 8) | quint32(b[3]);
}

const QByteArray kSignature("\x89PNG\r\n\x1a\n", 8);

// The one walk over a PNG's chunks, in memory or in a file: calls visit(type, offset, length)
// for every chunk after the signature, with the device at the chunk's data, `offset` where
// the chunk begins and `length` the size of its data; visit returns false to stop there.
// False when the file is not a PNG or is cut short before the walk ends.
bool walkChunks(
    QIODevice& png,
    const std::function<bool(const QByteArray& type, qint64 offset, quint32 length)>& visit) {
    if (png.read(8) != kSignature)
        return false;
    const qint64 size = png.size();
    qint64 offset = 8;
    while (offset + 12 <= size) {
        const QByteArray head = png.seek(offset) ? png.read(8) : QByteArray();
        if (head.size() != 8)
            return false;
        const quint32 length = readBE32(head.constData());
        const qint64 total = qint64(length) + 12;
        if (offset + total > size)
            return false;
        if (!visit(head.mid(4, 4), offset, length))
            return true;
        offset += total;
    }
    return offset == size;
}

// Calls visit(type, chunk) for every chunk after the signature, the chunk with its length,
// type and checksum; false when the file is not a PNG or is cut short.
template <typename Visit> bool forEachChunk(const QByteArray& png, Visit visit) {
    QBuffer buffer;
    buffer.setData(png);
    if (!buffer.open(QIODevice::ReadOnly))
        return false;
    return walkChunks(buffer, [&](const QByteArray& type, qint64 offset, quint32 length) {
        visit(type, png.mid(offset, qsizetype(length) + 12));
        return true;
    });
}

void appendChunk(QByteArray& out, const char* type, const QByteArray& data) {
    appendBE32(out, quint32(data.size()));
    QByteArray body = QByteArray(type, 4) + data;
    out += body;
    appendBE32(out, quint32(crc32(crc32(0, nullptr, 0), reinterpret_cast<const Bytef*>(body.constData()),
                                   uInt(body.size()))));
}

} // namespace

QByteArray compressedRows(const Image& image) {
    const int components = image.componentsPerPixel();
    const bool layout = !image.isFloat && image.bitsPerComponent == 8 &&
                        ((components == 3 && image.alphaInfo == AlphaInfo::none) ||
                         (components == 4 && image.alphaInfo == AlphaInfo::last)) &&
                        image.bitsPerPixel == 8 * components && image.width > 0 && image.height > 0 &&
                        image.bytesPerRow >= image.width * components &&
                        image.pixels.size() >= std::size_t(image.bytesPerRow) * std::size_t(image.height);
    if (!layout)
        return {};
    const int bands = (image.height + kBandRows - 1) / kBandRows;
    std::vector<Band> results(static_cast<std::size_t>(bands));
    std::atomic<int> next{0};
    const auto work = [&] {
        for (int b = next++; b < bands; b = next++)
            compressBand(image, b * kBandRows, std::min(image.height, (b + 1) * kBandRows), b == bands - 1,
                         results[std::size_t(b)]);
    };
    const int helpers = std::min(bands, ThreadBudget::threadsForStage()) - 1;
    std::vector<std::thread> threads;
    try {
        for (int i = 0; i < helpers; ++i)
            threads.emplace_back(work);
    } catch (const std::system_error&) {
        // Fewer threads: the bands are shared out among those there are.
    }
    work();
    for (std::thread& thread : threads)
        thread.join();

    QByteArray stream("\x78\x01", 2); // deflate, 32 KiB window, fastest level
    uLong adler = results.front().adler;
    for (std::size_t i = 0; i < results.size(); ++i) {
        if (!results[i].ok)
            return {};
        if (i > 0)
            adler = adler32_combine(adler, results[i].adler, z_off_t(results[i].length));
        stream += results[i].deflated;
    }
    appendBE32(stream, quint32(adler));
    return stream;
}

QByteArray withImageData(const QByteArray& png, int colourType, int width, int height, const QByteArray& data) {
    QByteArray out = png.left(8);
    bool headerOK = false;
    bool dataWritten = false;
    const bool whole = forEachChunk(png, [&](const QByteArray& type, const QByteArray& chunk) {
        if (type == "IHDR") {
            QByteArray header = chunk.mid(8, 13);
            const char interlace = header.size() == 13 ? header[12] : char(1);
            headerOK = header.size() == 13 && header[8] == 8 && header[9] == char(colourType) && interlace == 0;
            QByteArray size;
            appendBE32(size, quint32(width));
            appendBE32(size, quint32(height));
            header.replace(0, 8, size);
            appendChunk(out, "IHDR", header);
        } else if (type == "IDAT") {
            // Chunks of at most 8 MiB, which every reader takes.
            constexpr qsizetype kChunk = qsizetype(8) << 20;
            for (qsizetype at = 0; !dataWritten && at < data.size(); at += kChunk)
                appendChunk(out, "IDAT", data.mid(at, kChunk));
            dataWritten = true;
        } else {
            out += chunk;
        }
    });
    return whole && headerOK && dataWritten ? out : QByteArray();
}

QByteArray tidied(const QByteArray& png, bool keepResolution) {
    QByteArray out = png.left(8);
    bool seenImageData = false;
    const bool whole = forEachChunk(png, [&](const QByteArray& type, const QByteArray& chunk) {
        seenImageData = seenImageData || type == "IDAT";
        const bool drop = (type == "pHYs" && !keepResolution) || (type == "eXIf" && seenImageData);
        if (!drop)
            out += chunk;
    });
    return whole ? out : png;
}

bool recordsPhysicalResolution(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    constexpr int kMaxChunksBeforeData = 256;
    int chunks = 0;
    bool records = false;
    (void)walkChunks(file, [&](const QByteArray& type, qint64, quint32 length) {
        if (++chunks > kMaxChunksBeforeData || type == "IDAT" || type == "IEND")
            return false;
        if (type != "pHYs")
            return true;
        // Unit 1 is metres; unit 0 records an aspect ratio only.
        const QByteArray data = file.read(9);
        records = length == 9 && data.size() == 9 && data.at(8) == 1;
        return false;
    });
    return records;
}

} // namespace glintwork::PngContainer
