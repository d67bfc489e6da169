#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <vector>

#include "quantizer/Oklab.h"

namespace glintwork::quantizer {

// The whole quantizer behind quantette_quantize_rgba: sRGB8 to Oklab, Wu box splitting over a
// histogram, online k-means on a sample, palette back to sRGB8, serpentine error diffusion.
class PaletteQuantizer {
public:
    // Asked on the calling thread between the stages, between the histogram's chunks and
    // before each band of rows is remapped; true gives the work up with Cancelled.
    using ShouldStop = std::function<bool()>;

    struct Cancelled : std::exception {
        [[nodiscard]] const char* what() const noexcept override {
            return "quantization cancelled";
        }
    };

    struct Result {
        std::vector<Oklab> palette;      // final centroids, in palette order
        std::vector<Rgb8> paletteColors; // their sRGB8 forms, as written to the image
    };

    // Quantizes width x height RGBA pixels in place (alpha never read or written). The caller has
    // checked the arguments: buffer present, 1 <= width * height <= 2^32, 1 <= maxColors <= 256.
    // An empty palette (possible only for an empty histogram) leaves the pixels as they were.
    // Throws std::bad_alloc or std::system_error before the first pixel is written, never after.
    // Throws Cancelled when shouldStop says so, possibly with part of the rows remapped. Asking
    // changes nothing in the result: with or without it the pixels come out the same. At most
    // maxThreads threads work, the calling one included (0: one per processor); the pixels
    // come out the same whatever the count.
    static Result quantize(std::uint8_t* rgba, std::uint32_t width, std::uint32_t height,
                           std::uint32_t maxColors, const ShouldStop& shouldStop = {},
                           std::uint32_t maxThreads = 0);
};

} // namespace glintwork::quantizer
