#pragma once

#include <cstdint>
#include <vector>

#include "platform/Image.h"

namespace glintwork {

// Masks as the cut-out needs them: grey bytes at the source's size, whatever the segmenter
// handed over. Failures throw Error (maskScalingFailed).

// The mask as width × height packed bytes: copied verbatim when it already is an 8-bit
// one-component image of that size, otherwise turned grey and Lanczos-resampled.
[[nodiscard]] std::vector<std::uint8_t> maskBytes(const Image& mask, int width, int height);

// The mask alone as a packed 8-bit linear-grey image of exactly width × height.
[[nodiscard]] Image maskAsLinearGray(const Image& mask, int width, int height);

// Lanczos-3 resample of a packed 8-bit grey mask to exactly targetWidth × targetHeight,
// rounded and clamped to 0–255. Edges are extended, so a uniform mask stays uniform.
[[nodiscard]] std::vector<std::uint8_t> resampleMaskLanczos(const std::uint8_t* mask, int width,
                                                            int height, int targetWidth,
                                                            int targetHeight);

} // namespace glintwork
