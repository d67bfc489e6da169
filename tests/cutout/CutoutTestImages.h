#pragma once

#include <cstdint>

#include "platform/Image.h"

namespace glintwork::test {

// A packed image of the given layout whose bytes follow a fixed pseudo-random sequence,
// with `padding` spare bytes at the end of every row.
[[nodiscard]] Image noiseImage(int width, int height, int bitsPerComponent, AlphaInfo alphaInfo,
                               int colorComponents, int padding = 0, std::uint32_t seed = 1);

// A packed 8-bit grey mask filled by f(x, y).
template <typename F> Image greyMask(int width, int height, F f) {
    Image mask = Image::make(width, height, 8, AlphaInfo::none, ColorSpace::linearGray(), 1);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            mask.row(y)[x] = static_cast<std::uint8_t>(f(x, y));
    return mask;
}

// 8-bit RGB with a uniform background and a filled disc of another colour.
[[nodiscard]] Image discOnBackground(int width, int height, const std::uint8_t background[3],
                                     const std::uint8_t subject[3], double radiusShare);

} // namespace glintwork::test
