#include "platform/Orientation.h"

#include <cstring>

namespace glintwork {

bool orientationSwapsAxes(int orientation) {
    return orientation >= 5 && orientation <= 8;
}

Image applyOrientation(const Image& image, int orientation) {
    if (orientation < 2 || orientation > 8 || image.isEmpty())
        return image;
    const bool swap = orientationSwapsAxes(orientation);
    Image out = image;
    out.width = swap ? image.height : image.width;
    out.height = swap ? image.width : image.height;
    const int pixelBytes = image.bytesPerPixel();
    out.bytesPerRow = out.width * pixelBytes;
    out.pixels.assign(static_cast<std::size_t>(out.bytesPerRow) * static_cast<std::size_t>(out.height), 0);

    // For every destination pixel (x, y), where it comes from in the stored image. The
    // EXIF values describe where the stored row 0 / column 0 belong once shown upright.
    const int w = out.width;
    const int h = out.height;
    for (int y = 0; y < h; ++y) {
        std::uint8_t* dst = out.row(y);
        for (int x = 0; x < w; ++x) {
            int sx = x;
            int sy = y;
            switch (orientation) {
            case 2: sx = w - 1 - x; sy = y; break;          // mirrored horizontally
            case 3: sx = w - 1 - x; sy = h - 1 - y; break;  // rotated 180
            case 4: sx = x; sy = h - 1 - y; break;          // mirrored vertically
            case 5: sx = y; sy = x; break;                  // transposed
            case 6: sx = y; sy = w - 1 - x; break;          // rotated 90 clockwise to show
            case 7: sx = h - 1 - y; sy = w - 1 - x; break;  // transversed
            case 8: sx = h - 1 - y; sy = x; break;          // rotated 90 counter-clockwise
            default: break;
            }
            std::memcpy(dst + static_cast<std::size_t>(x) * pixelBytes,
                        image.row(sy) + static_cast<std::size_t>(sx) * pixelBytes, pixelBytes);
        }
    }
    return out;
}

} // namespace glintwork
