#include "quantizer/FloatContract.h"

#include "quantizer/OnlineKMeans.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <vector>

#include "quantizer/Xoroshiro128PlusPlus.h"

namespace glintwork::quantizer {

void OnlineKMeans::refine(PaletteSearch& palette, const std::uint8_t* rgba, std::size_t pixelCount,
                          const SrgbToOklab& converter) {
    const std::size_t samples = std::min(pixelCount, kMaxSamples);
    if (samples == 0 || palette.size() == 0)
        return;
    Xoroshiro128PlusPlus sampler;
    std::vector<std::uint32_t> counts(palette.size(), 0);
    std::array<std::uint8_t, 4 * kBatchSize> batchRgba{};
    std::array<Oklab, kBatchSize> batch{};

    for (std::size_t done = 0; done < samples;) {
        const std::size_t batchSize = std::min(kBatchSize, samples - done);
        // Drawing a whole batch first lets its pixels be fetched and converted together; the
        // draws do not depend on the processing, so the result is the same as one at a time.
        for (std::size_t i = 0; i < batchSize; ++i) {
            const std::uint8_t* pixel = rgba + 4 * std::size_t{sampler.nextIndex(pixelCount)};
            std::copy(pixel, pixel + 3, batchRgba.data() + 4 * i);
        }
        converter.convertRgba(batchRgba.data(), batch.data(), batchSize);
        for (std::size_t i = 0; i < batchSize; ++i) {
            const Oklab c = batch[i];
            const std::uint32_t nearest = palette.nearest(c);
            const std::uint32_t n = ++counts[nearest];
            const auto rate = static_cast<float>(1.0 / std::sqrt(static_cast<double>(n)));
            Oklab centroid = palette.color(nearest);
            centroid.l += (c.l - centroid.l) * rate;
            centroid.a += (c.a - centroid.a) * rate;
            centroid.b += (c.b - centroid.b) * rate;
            palette.setColor(nearest, centroid);
        }
        done += batchSize;
    }
}

} // namespace glintwork::quantizer
