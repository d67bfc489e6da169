#pragma once

#include <cstddef>
#include <vector>

#include "quantizer/ColorHistogram.h"
#include "quantizer/Oklab.h"

namespace glintwork::quantizer {

// Wu's variance-minimising box splitting: repeatedly cuts the box with the largest variance in
// two, at the plane that leaves the smallest summed variance, until there are maxColors boxes
// or none can be cut. Returns the boxes' mean colours (empty for an empty histogram), in the
// order the boxes were created, the lower half of a cut keeping its parent's place.
[[nodiscard]] std::vector<Oklab> wuPalette(const ColorHistogram& histogram, std::size_t maxColors);

} // namespace glintwork::quantizer
