#include "quantizer/quantette.h"

#include <cstddef>
#include <limits>

#include "quantizer/PaletteQuantizer.h"

extern "C" int32_t quantette_quantize_rgba(uint8_t* pixels, uint32_t width, uint32_t height,
                                           uint32_t maxColors) {
    return quantette_quantize_rgba_cancellable(pixels, width, height, maxColors, nullptr, nullptr);
}

extern "C" int32_t quantette_quantize_rgba_cancellable(uint8_t* pixels, uint32_t width,
                                                       uint32_t height, uint32_t maxColors,
                                                       int32_t (*should_stop)(void* context),
                                                       void* context) {
    return quantette_quantize_rgba_threads(pixels, width, height, maxColors, 0, should_stop,
                                           context);
}

extern "C" int32_t quantette_quantize_rgba_threads(uint8_t* pixels, uint32_t width, uint32_t height,
                                                   uint32_t maxColors, uint32_t max_threads,
                                                   int32_t (*should_stop)(void* context),
                                                   void* context) {
    if (pixels == nullptr || width == 0 || height == 0 || maxColors == 0 || maxColors > 256)
        return -1;
    // The byte count must be addressable, and the sampler draws pixel indices below 2^32.
    const auto pixelCount = static_cast<unsigned __int128>(width) * height;
    if (pixelCount * 4 > std::numeric_limits<std::size_t>::max() ||
        pixelCount > (static_cast<unsigned __int128>(1) << 32))
        return -1;
    using glintwork::quantizer::PaletteQuantizer;
    PaletteQuantizer::ShouldStop shouldStop;
    if (should_stop != nullptr)
        shouldStop = [should_stop, context] { return should_stop(context) != 0; };
    // Nothing may unwind into a C caller. Every allocation and thread start happens before the
    // first pixel is written, so a failure leaves the buffer as it was.
    try {
        (void)PaletteQuantizer::quantize(pixels, width, height, maxColors, shouldStop, max_threads);
        return 0;
    } catch (const PaletteQuantizer::Cancelled&) {
        return 1;
    } catch (...) {
        return -1;
    }
}
