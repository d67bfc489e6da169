#include "cutout/CutoutTestImages.h"

#include <algorithm>
#include <cmath>

namespace glintwork::test {

Image noiseImage(int width, int height, int bitsPerComponent, AlphaInfo alphaInfo,
                 int colorComponents, int padding, std::uint32_t seed) {
    Image image = Image::make(width, height, bitsPerComponent, alphaInfo, ColorSpace::sRGB(),
                              colorComponents);
    const int packedRow = image.bytesPerRow;
    image.bytesPerRow = packedRow + padding;
    image.pixels.assign(std::size_t(image.bytesPerRow) * std::size_t(height), 0);
    std::uint32_t state = seed * 2654435761u + 1;
    for (auto& byte : image.pixels) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        byte = static_cast<std::uint8_t>(state >> 24);
    }
    return image;
}

Image discOnBackground(int width, int height, const std::uint8_t background[3],
                       const std::uint8_t subject[3], double radiusShare) {
    Image image = Image::make(width, height, 8, AlphaInfo::none, ColorSpace::sRGB(), 3);
    const double cx = width / 2.0;
    const double cy = height / 2.0;
    const double radius = radiusShare * std::min(width, height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const bool inside = std::hypot(x + 0.5 - cx, y + 0.5 - cy) < radius;
            for (int c = 0; c < 3; ++c)
                image.row(y)[3 * x + c] = inside ? subject[c] : background[c];
        }
    }
    return image;
}

} // namespace glintwork::test
