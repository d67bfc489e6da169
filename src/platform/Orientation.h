#pragma once

#include "platform/Image.h"

namespace glintwork {

// Turns pixels stored under an EXIF orientation (1-8) upright. Orientation 1, or a value
// outside 1-8, returns the image unchanged. Works on any packed or padded layout; the
// result is packed.
[[nodiscard]] Image applyOrientation(const Image& image, int orientation);

// Width and height as seen once the orientation is applied (swapped for 5-8).
[[nodiscard]] bool orientationSwapsAxes(int orientation);

} // namespace glintwork
