#pragma once

#include <array>
#include <cstdint>

#include "platform/Image.h"

namespace glintwork {

using Pixel = std::array<std::uint8_t, 4>;

namespace test {

// Opaque packed RGBA8 whose pixels encode their own coordinates, so any misplaced pixel
// shows.
[[nodiscard]] Image makePatternImage(int width, int height);
[[nodiscard]] Image solidImage(int width, int height, Pixel colour);
// Every pixel repeated factor × factor times, as a nearest-neighbour network does.
[[nodiscard]] Image nearestUpscale(const Image& image, int factor);
[[nodiscard]] Pixel pixelAt(const Image& image, int x, int y);

} // namespace test
} // namespace glintwork
