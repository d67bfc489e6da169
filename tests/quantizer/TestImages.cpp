#include "TestImages.h"

#include <algorithm>
#include <cmath>

namespace glintwork::quantizer::test {

namespace {

std::uint8_t clampByte(double v) {
    return static_cast<std::uint8_t>(std::clamp(std::lround(v), 0L, 255L));
}

} // namespace

RgbaImage photoLikeImage(std::uint32_t width, std::uint32_t height, std::uint32_t seed) {
    RgbaImage image(width, height);
    std::uint32_t state = seed * 2654435761u + 1;
    for (std::uint32_t y = 0; y < height; ++y) {
        for (std::uint32_t x = 0; x < width; ++x) {
            state = state * 1664525u + 1013904223u;
            const double noise = double(state >> 24) / 32.0 - 4.0;
            const double fx = double(x) / width;
            const double fy = double(y) / height;
            double r = 255.0 * (0.5 + 0.5 * std::sin(6.0 * fx + 2.0 * fy));
            double g = 255.0 * (0.2 + 0.7 * fy * fy);
            double b = 255.0 * (0.5 + 0.5 * std::cos(9.0 * fx - 4.0 * fy));
            // A dark disc and a bright diagonal band give edges the dither must not smear.
            const double dx = fx - 0.65;
            const double dy = fy - 0.4;
            if (dx * dx + dy * dy < 0.03) {
                r *= 0.25;
                g *= 0.3;
                b *= 0.2;
            }
            if (std::fabs(fx - fy) < 0.05) {
                r = 250.0;
                g = 240.0;
                b = 200.0;
            }
            image.set(x, y, clampByte(r + noise), clampByte(g + noise), clampByte(b + noise));
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
            std::size_t c = 0;
            if (y > height / 8 && y < height / 3)
                c = 1 + (x * 4 / width);
            else if (y >= height / 2 && (x / 40 + y / 40) % 2 == 0)
                c = 5;
            image.set(x, y, kColors[c][0], kColors[c][1], kColors[c][2]);
        }
    }
    return image;
}

} // namespace glintwork::quantizer::test
