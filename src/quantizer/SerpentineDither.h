#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "quantizer/Oklab.h"
#include "quantizer/PaletteSearch.h"

namespace glintwork::quantizer {

// Floyd-Steinberg error diffusion in Oklab on a serpentine scan (even rows left to right, odd
// rows right to left), diffusing 7/8 of each pixel's error so flat areas stay calm while
// gradients keep their shape. Rows depend on the row above, so they must come in order.
class SerpentineDither {
public:
    static constexpr float kStrength = 0.875f;

    // colors[i] is the sRGB8 form of palette entry i.
    SerpentineDither(const PaletteSearch& palette, std::span<const Rgb8> colors, std::size_t width);

    // Writes the R, G and B bytes of one RGBA row (alpha untouched) from that row's Oklab pixels.
    void remapRow(std::size_t y, const Oklab* pixels, std::uint8_t* rgbaRow);

private:
    const PaletteSearch& m_palette;
    std::span<const Rgb8> m_colors;
    std::vector<Oklab> m_paletteColors;
    std::size_t m_width;
    // One spare cell at each end takes the error pushed past an edge, where it is dropped.
    std::vector<Oklab> m_current;
    std::vector<Oklab> m_next;
};

} // namespace glintwork::quantizer
