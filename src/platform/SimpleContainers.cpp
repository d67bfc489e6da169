#include "platform/SimpleContainers.h"

namespace glintwork::SimpleContainers {

QByteArray withoutExifSegment(const QByteArray& jpeg) {
    if (jpeg.size() < 4 || quint8(jpeg[0]) != 0xFF || quint8(jpeg[1]) != 0xD8)
        return jpeg;
    QByteArray out = jpeg.left(2);
    qsizetype offset = 2;
    while (offset + 4 <= jpeg.size() && quint8(jpeg[offset]) == 0xFF) {
        const quint8 marker = quint8(jpeg[offset + 1]);
        if (marker == 0xDA) // start of scan: the rest is entropy-coded data
            break;
        const qsizetype length =
            (qsizetype(quint8(jpeg[offset + 2])) << 8) | qsizetype(quint8(jpeg[offset + 3]));
        if (offset + 2 + length > jpeg.size())
            return jpeg;
        const bool exif = marker == 0xE1 && jpeg.mid(offset + 4, 6) == QByteArray("Exif\0\0", 6);
        if (!exif)
            out += jpeg.mid(offset, 2 + length);
        offset += 2 + length;
    }
    out += jpeg.mid(offset);
    return out;
}

QByteArray tga(const Image& rgba, bool alpha) {
    const int bytesPerPixel = alpha ? 4 : 3;
    QByteArray tga(18, '\0');
    tga[2] = 2; // uncompressed true-colour
    tga[12] = char(rgba.width & 0xFF);
    tga[13] = char(rgba.width >> 8);
    tga[14] = char(rgba.height & 0xFF);
    tga[15] = char(rgba.height >> 8);
    tga[16] = char(bytesPerPixel * 8);
    // Bottom-up rows (origin bit clear) is the layout every TGA reader handles; the low
    // bits give the alpha depth.
    tga[17] = char(alpha ? 8 : 0);
    tga.reserve(18 + qsizetype(rgba.width) * rgba.height * bytesPerPixel);
    for (int y = rgba.height - 1; y >= 0; --y) {
        const std::uint8_t* row = rgba.row(y);
        for (int x = 0; x < rgba.width; ++x) {
            const std::uint8_t* p = row + 4 * x;
            tga.append(char(p[2]));
            tga.append(char(p[1]));
            tga.append(char(p[0]));
            if (alpha)
                tga.append(char(p[3]));
        }
    }
    return tga;
}

} // namespace glintwork::SimpleContainers
