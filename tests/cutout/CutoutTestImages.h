#pragma once

#include "support/TestImages.h"

namespace glintwork::test {

// 8-bit RGB with a uniform background and an anti-aliased disc of another colour: a subject
// any segmenter should find.
[[nodiscard]] Image discOnBackground(int width, int height, const std::uint8_t background[3],
                                     const std::uint8_t subject[3], double radiusShare);

// Pixels at least half covered in both masks over those in either; 0 when both are empty.
[[nodiscard]] double intersectionOverUnion(const Image& mask, const Image& truth);

} // namespace glintwork::test
