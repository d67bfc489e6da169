#pragma once

#include <cstddef>
#include <cstdint>

#include "quantizer/Oklab.h"
#include "quantizer/PaletteSearch.h"

namespace glintwork::quantizer {

// Refines a palette with online k-means on a random sample of the pixels: each sample pulls its
// nearest centroid towards itself by 1/sqrt(n), n being how many samples that centroid has
// taken so far, so a centroid ends near the mean of the samples it won.
class OnlineKMeans {
public:
    // The sample never exceeds 2^18 pixels, which bounds the work on large images.
    static constexpr std::size_t kMaxSamples = std::size_t{1} << 18;
    static constexpr std::size_t kBatchSize = 256;

    // Moves the centroids held by palette in place, sampling from pixelCount RGBA pixels (at most
    // 2^32) converted to Oklab as they are drawn.
    static void refine(PaletteSearch& palette, const std::uint8_t* rgba, std::size_t pixelCount,
                       const SrgbToOklab& converter);
};

} // namespace glintwork::quantizer
