#include "cutout/CutoutTestImages.h"

#include <algorithm>
#include <cmath>

namespace glintwork::test {

Image discOnBackground(int width, int height, const std::uint8_t background[3],
                       const std::uint8_t subject[3], double radiusShare) {
    Image image = Image::make(width, height, 8, AlphaInfo::none, ColorSpace::sRGB(), 3);
    const double cx = width / 2.0;
    const double cy = height / 2.0;
    const double radius = radiusShare * std::min(width, height);
    // Anti-aliased like a photographed outline: coverage from 4 × 4 samples per pixel.
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            int covered = 0;
            for (int sy = 0; sy < 4; ++sy)
                for (int sx = 0; sx < 4; ++sx)
                    covered += std::hypot(x + (sx + 0.5) / 4 - cx, y + (sy + 0.5) / 4 - cy) < radius;
            const double share = covered / 16.0;
            for (int c = 0; c < 3; ++c)
                image.row(y)[3 * x + c] = static_cast<std::uint8_t>(
                    std::lround(share * subject[c] + (1 - share) * background[c]));
        }
    }
    return image;
}

double intersectionOverUnion(const Image& mask, const Image& truth) {
    std::size_t both = 0, either = 0;
    for (std::size_t i = 0; i < mask.pixels.size(); ++i) {
        both += mask.pixels[i] >= 128 && truth.pixels[i] >= 128;
        either += mask.pixels[i] >= 128 || truth.pixels[i] >= 128;
    }
    return either ? double(both) / double(either) : 0.0;
}

} // namespace glintwork::test
