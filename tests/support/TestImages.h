#pragma once

#include <array>
#include <cstdint>
#include <functional>

#include "platform/Image.h"

namespace glintwork {

using Pixel = std::array<std::uint8_t, 4>;

namespace test {

// Component value at (x, y, index within the pixel), honouring depth and 16-bit byte order.
[[nodiscard]] double component(const Image& image, int x, int y, int index);

// Fills every component from a function of (x, y, index); values are stored in the
// image's own depth and byte order.
void fill(Image& image, const std::function<int(int x, int y, int index)>& value);

// PSNR over the colour components on a 0–255 scale, after both images are brought to
// straight 8-bit RGBA; 0 when the sizes differ, 99 when the pixels are equal.
[[nodiscard]] double psnr(const Image& a, const Image& b);

// Same size, layout and every component value; reports the first few differences.
void expectSamePixels(const Image& expected, const Image& actual);

// Smooth 8-bit sRGB ramps with a few hard edges: lossy encoders keep it well, and a wrong
// size, a flip or a colour mix-up ruins the match. Opaque alpha when asked for.
[[nodiscard]] Image gradient(int width, int height, bool alpha = false);

// Four flat quadrants: red, green / blue, white. Any turn or mirror moves them.
[[nodiscard]] Image quadrants(int width, int height);

// A packed image of the given layout whose bytes follow a fixed pseudo-random sequence,
// with `padding` spare bytes at the end of every row.
[[nodiscard]] Image noiseImage(int width, int height, int bitsPerComponent, AlphaInfo alphaInfo,
                               int colorComponents, int padding = 0, std::uint32_t seed = 1);

// A packed 8-bit linear grey mask filled by value(x, y).
[[nodiscard]] Image greyMask(int width, int height, const std::function<int(int x, int y)>& value);

// Opaque packed RGBA8 whose pixels encode their own coordinates, so any misplaced pixel
// shows.
[[nodiscard]] Image makePatternImage(int width, int height);
[[nodiscard]] Image solidImage(int width, int height, Pixel colour);
// Every pixel of a packed RGBA8 image repeated factor × factor times, as a nearest-neighbour
// network does.
[[nodiscard]] Image nearestUpscale(const Image& image, int factor);
[[nodiscard]] Pixel pixelAt(const Image& image, int x, int y);

// 8-bit RGB with a uniform background and an anti-aliased disc of another colour: a subject
// any segmenter should find.
[[nodiscard]] Image discOnBackground(int width, int height, const std::uint8_t background[3],
                                     const std::uint8_t subject[3], double radiusShare);

// Pixels at least half covered in both masks over those in either; 0 when both are empty.
[[nodiscard]] double intersectionOverUnion(const Image& mask, const Image& truth);

} // namespace test
} // namespace glintwork
