#include "TestImages.h"

#include <algorithm>
#include <cmath>

namespace glintwork::quantizer::test {

RgbaImage photoLikeImage(std::uint32_t width, std::uint32_t height, std::uint32_t seed) {
    RgbaImage image(width, height);
    std::uint32_t state = seed * 2654435761u + 1;
    for (std::uint32_t y = 0; y < height; ++y) {
        for (std::uint32_t x = 0; x < width; ++x) {
            state = state * 1664525u + 1013904223u;
            const double noise = double(state >> 24) / 32.0 - 4.0;
            const double fx = double(x) / width;
            const double fy = double(y) / height;
            double rgb[3] = {255.0 * (0.5 + 0.5 * std::sin(6.0 * fx + 2.0 * fy)),
                             255.0 * (0.2 + 0.7 * fy * fy),
                             255.0 * (0.5 + 0.5 * std::cos(9.0 * fx - 4.0 * fy))};
            // A dark disc and a bright diagonal band give edges the dither must not smear.
            const double dx = fx - 0.65;
            const double dy = fy - 0.4;
            const double disc[3] = {0.25, 0.3, 0.2};
            const double band[3] = {250.0, 240.0, 200.0};
            for (int c = 0; c < 3; ++c) {
                rgb[c] = dx * dx + dy * dy < 0.03 ? rgb[c] * disc[c] : rgb[c];
                rgb[c] = std::fabs(fx - fy) < 0.05 ? band[c] : rgb[c];
                image.pixel(x, y)[c] =
                    std::uint8_t(std::clamp(std::lround(rgb[c] + noise), 0L, 255L));
            }
            image.pixel(x, y)[3] = 255;
        }
    }
    return image;
}

RgbaImage flatGraphic(std::uint32_t width, std::uint32_t height) {
    static constexpr std::uint8_t kColors[][3] = {{255, 255, 255}, {30, 30, 30},   {220, 40, 40},
                                                  {40, 120, 220},  {250, 200, 30}, {60, 170, 90}};
    RgbaImage image(width, height);
    for (std::uint32_t y = 0; y < height; ++y) {
        for (std::uint32_t x = 0; x < width; ++x) {
            const bool checked = y >= height / 2 && (x / 40 + y / 40) % 2 == 0;
            const std::size_t c = y > height / 8 && y < height / 3 ? 1 + (x * 4 / width)
                                  : checked                        ? 5
                                                                   : 0;
            std::copy(kColors[c], kColors[c] + 3, image.pixel(x, y));
            image.pixel(x, y)[3] = 255;
        }
    }
    return image;
}

} // namespace glintwork::quantizer::test
