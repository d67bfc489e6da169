#pragma once

#include <functional>

#include "platform/Image.h"

namespace glintwork::test {

// Component value at (x, y, index within the pixel), honouring depth and 16-bit byte order.
[[nodiscard]] double component(const Image& image, int x, int y, int index);

// Fills every component from a function of (x, y, index); values are stored in the
// image's own depth and byte order.
void fill(Image& image, const std::function<int(int x, int y, int index)>& value);

// PSNR over the colour components of two images of the same size and layout, on a 0–255
// scale.
[[nodiscard]] double psnr(const Image& a, const Image& b);

} // namespace glintwork::test
