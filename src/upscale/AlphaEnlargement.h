#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "platform/Image.h"

namespace glintwork {

// One byte of alpha a pixel, rows packed.
struct AlphaPlane {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> bytes;
};

// The alpha of a packed 8-bit RGBA image; nothing when every pixel is opaque, so such an
// image costs nothing more.
[[nodiscard]] std::optional<AlphaPlane> alphaPlaneOf(const Image& rgba8);

// Enlarges `alpha` by `factor` with a Lanczos-3 filter (edges repeated) straight into the
// alpha bytes of a packed 8-bit RGBA canvas of exactly its size times the factor; the
// colour bytes stay as they are. No full-size buffer is made on the way: a few rows of
// working memory. Does nothing when the sizes disagree.
void enlargeAlphaInto(const AlphaPlane& alpha, int factor, Image& canvas);

} // namespace glintwork
