#pragma once

#include <optional>

#include <QByteArray>

namespace glintwork::test {

// Builds PNG files chunk by chunk, independently of the image library under test, so
// tests control exactly what a file records (and can craft broken or hostile headers).
struct PngBuilder {
    int width = 1;
    int height = 1;
    int bitDepth = 8;
    int colorType = 2; // 0 grey, 2 RGB, 3 palette, 4 grey+alpha, 6 RGBA
    // Unfiltered pixel rows, packed; a filter byte is added per row.
    QByteArray pixels;
    QByteArray palette; // PLTE entries for colour type 3
    struct Physical {
        quint32 x = 0;
        quint32 y = 0;
        quint8 unit = 1;
    };
    std::optional<Physical> physical;
    QByteArray exif; // raw TIFF-structured EXIF for an eXIf chunk

    [[nodiscard]] QByteArray build() const;

    [[nodiscard]] static QByteArray chunk(const char* type, const QByteArray& data);
    [[nodiscard]] static QByteArray ihdr(quint32 width, quint32 height, int bitDepth,
                                         int colorType);
    [[nodiscard]] static QByteArray signature();
};

// A big-endian TIFF-structured EXIF block holding only an orientation tag.
[[nodiscard]] QByteArray exifWithOrientation(int orientation);

} // namespace glintwork::test
