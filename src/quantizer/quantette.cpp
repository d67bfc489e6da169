#include "quantizer/quantette.h"

#include <cstddef>
#include <limits>

#include "quantizer/PaletteQuantizer.h"

extern "C" int32_t quantette_quantize_rgba(uint8_t* pixels, uint32_t width, uint32_t height,
                                           uint32_t maxColors) {
    if (pixels == nullptr || width == 0 || height == 0 || maxColors == 0 || maxColors > 256)
        return -1;
    // The byte count must be addressable, and the sampler draws pixel indices below 2^32.
    const auto pixelCount = static_cast<unsigned __int128>(width) * height;
    if (pixelCount * 4 > std::numeric_limits<std::size_t>::max() ||
        pixelCount > (static_cast<unsigned __int128>(1) << 32))
        return -1;
    // Nothing may unwind into a C caller. Every allocation and thread start happens before the
    // first pixel is written, so a failure leaves the buffer as it was.
    try {
        (void)glintwork::quantizer::PaletteQuantizer::quantize(pixels, width, height, maxColors);
        return 0;
    } catch (...) {
        return -1;
    }
}
