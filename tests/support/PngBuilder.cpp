#include "support/PngBuilder.h"

#include <array>

namespace glintwork::test {

namespace {

quint32 crc32(const QByteArray& bytes) {
    static const std::array<quint32, 256> table = [] {
        std::array<quint32, 256> t{};
        for (quint32 n = 0; n < 256; ++n) {
            quint32 c = n;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    quint32 c = 0xFFFFFFFFu;
    for (const char byte : bytes)
        c = table[(c ^ static_cast<quint8>(byte)) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

void appendBE32(QByteArray& out, quint32 value) {
    out.append(static_cast<char>(value >> 24));
    out.append(static_cast<char>(value >> 16));
    out.append(static_cast<char>(value >> 8));
    out.append(static_cast<char>(value));
}

// qCompress prefixes a zlib stream with its 4-byte uncompressed length.
QByteArray zlibStream(const QByteArray& data) { return qCompress(data, 9).mid(4); }

int channelsOf(int colorType) {
    switch (colorType) {
    case 0:
    case 3:
        return 1;
    case 4:
        return 2;
    case 2:
        return 3;
    default:
        return 4;
    }
}

} // namespace

QByteArray PngBuilder::signature() { return QByteArray("\x89PNG\r\n\x1a\n", 8); }

QByteArray PngBuilder::chunk(const char* type, const QByteArray& data) {
    QByteArray out;
    appendBE32(out, static_cast<quint32>(data.size()));
    const QByteArray body = QByteArray(type, 4) + data;
    out += body;
    appendBE32(out, crc32(body));
    return out;
}

QByteArray PngBuilder::ihdr(quint32 width, quint32 height, int bitDepth, int colorType) {
    QByteArray data;
    appendBE32(data, width);
    appendBE32(data, height);
    data.append(static_cast<char>(bitDepth));
    data.append(static_cast<char>(colorType));
    data.append('\0'); // deflate
    data.append('\0'); // adaptive filtering
    data.append('\0'); // no interlace
    return chunk("IHDR", data);
}

QByteArray PngBuilder::build() const {
    QByteArray out = signature() + ihdr(static_cast<quint32>(width),
                                        static_cast<quint32>(height), bitDepth, colorType);
    if (!icc.isEmpty())
        out += chunk("iCCP", QByteArray("icc\0\0", 5) + zlibStream(icc));
    if (physical) {
        QByteArray data;
        appendBE32(data, physical->x);
        appendBE32(data, physical->y);
        data.append(static_cast<char>(physical->unit));
        out += chunk("pHYs", data);
    }
    if (!exif.isEmpty())
        out += chunk("eXIf", exif);
    if (colorType == 3)
        out += chunk("PLTE", palette);

    const int rowBytes = (width * channelsOf(colorType) * bitDepth + 7) / 8;
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
    tiff.append('\0');
    tiff.append(static_cast<char>(orientation));
    tiff += QByteArray("\0\0", 2);
    tiff += QByteArray("\0\0\0\0", 4); // no next IFD
    return tiff;
}

} // namespace glintwork::test
