#include "support/PngBuilder.h"

#include <zlib.h>

namespace glintwork::test {

namespace {

void appendBE32(QByteArray& out, quint32 value) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out.append(static_cast<char>(value >> shift));
}

// qCompress prefixes a zlib stream with its 4-byte uncompressed length.
QByteArray zlibStream(const QByteArray& data) { return qCompress(data, 9).mid(4); }

} // namespace

QByteArray PngBuilder::signature() { return QByteArray("\x89PNG\r\n\x1a\n", 8); }

QByteArray PngBuilder::chunk(const char* type, const QByteArray& data) {
    QByteArray out;
    appendBE32(out, static_cast<quint32>(data.size()));
    const QByteArray body = QByteArray(type, 4) + data;
    out += body;
    appendBE32(out, quint32(::crc32(0, reinterpret_cast<const Bytef*>(body.constData()), uInt(body.size()))));
    return out;
}

QByteArray PngBuilder::ihdr(quint32 width, quint32 height, int bitDepth, int colorType) {
    QByteArray data;
    appendBE32(data, width);
    appendBE32(data, height);
    data.append(static_cast<char>(bitDepth)).append(static_cast<char>(colorType));
    data.append(QByteArray(3, '\0')); // deflate, adaptive filtering, no interlace
    return chunk("IHDR", data);
}

QByteArray PngBuilder::build() const {
    QByteArray out = signature() + ihdr(static_cast<quint32>(width), static_cast<quint32>(height), bitDepth, colorType);
    if (physical) {
        QByteArray data;
        appendBE32(data, physical->x);
        appendBE32(data, physical->y);
        out += chunk("pHYs", data.append(static_cast<char>(physical->unit)));
    }
    if (!exif.isEmpty())
        out += chunk("eXIf", exif);
    if (colorType == 3)
        out += chunk("PLTE", palette);

    static constexpr int channels[] = {1, 0, 3, 1, 2, 0, 4}; // by colour type
    const int rowBytes = (width * channels[colorType] * bitDepth + 7) / 8;
    QByteArray filtered;
    for (int y = 0; y < height; ++y) {
        filtered.append('\0');
        filtered += pixels.mid(y * rowBytes, rowBytes);
    }
    out += chunk("IDAT", zlibStream(filtered));
    out += chunk("IEND", QByteArray());
    return out;
}

QByteArray exifWithOrientation(int orientation) {
    QByteArray tiff("MM\0*\0\0\0\x08", 8);
    tiff += QByteArray("\0\x01", 2);                     // one entry
    tiff += QByteArray("\x01\x12\0\x03\0\0\0\x01", 8);    // Orientation, SHORT, count 1
    tiff += QByteArray(1, '\0') + char(orientation) + QByteArray(6, '\0'); // value, no next IFD
    return tiff;
}

} // namespace glintwork::test
