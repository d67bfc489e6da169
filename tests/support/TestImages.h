#pragma once

#include <functional>

#include "platform/Image.h"

namespace glintwork::test {

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

} // namespace glintwork::test
