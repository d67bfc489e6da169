#include "quantizer/FloatContract.h"

#include "quantizer/SerpentineDither.h"

#include <algorithm>
#include <bit>

namespace glintwork::quantizer {

namespace {

inline bool sameBits(const Oklab& x, const Oklab& y) {
    return std::bit_cast<std::uint32_t>(x.l) == std::bit_cast<std::uint32_t>(y.l) &&
           std::bit_cast<std::uint32_t>(x.a) == std::bit_cast<std::uint32_t>(y.a) &&
           std::bit_cast<std::uint32_t>(x.b) == std::bit_cast<std::uint32_t>(y.b);
}

inline bool isZero(const Oklab& c) {
    return c.l == 0.0f && c.a == 0.0f && c.b == 0.0f;
}

inline void addScaled(Oklab& cell, const Oklab& e, float weight) {
    cell.l += e.l * weight;
    cell.a += e.a * weight;
    cell.b += e.b * weight;
}

} // namespace

SerpentineDither::SerpentineDither(const PaletteSearch& palette, std::span<const Rgb8> colors,
                                   std::size_t width)
    : m_palette(palette), m_colors(colors), m_width(width), m_current(width + 2),
      m_next(width + 2) {
    m_paletteColors.reserve(palette.size());
    for (std::size_t i = 0; i < palette.size(); ++i)
        m_paletteColors.push_back(palette.color(i));
}

void SerpentineDither::remapRow(std::size_t y, const Oklab* pixels, std::uint8_t* rgbaRow) {
    const bool leftToRight = y % 2 == 0;
    // Cell x + 1 holds the error for pixel x; the scan direction flips which neighbour is ahead.
    const std::ptrdiff_t ahead = leftToRight ? 1 : -1;
    // The 7/16 share for the next pixel of the row stays in a register instead of going through
    // its error cell: the cell holds only what the row above sent, and adding the carried share
    // last is the order the cell would have seen it in anyway. This keeps a store-and-reload off
    // the pixel-to-pixel dependency chain.
    Oklab carry{0.0f, 0.0f, 0.0f};
    // In a flat area whose colour is in the palette no error is diffused, so pixel after pixel
    // asks for the very same colour. The search depends on nothing but the query's bits, so
    // when they repeat exactly its last answer is reused; bits rather than values are compared,
    // so neither signed zeros nor NaNs can be mistaken for each other.
    Oklab lastQuery{};
    std::uint32_t lastChosen = 0;
    bool haveLast = false;
    // Whether the last pixel diffused an error of exactly zero. If so, and the row above sent
    // nothing to this pixel either, its query is the pixel itself; when that equals the last
    // query the choice and the (zero) error are the last pixel's again, and diffusing a zero
    // error would change no cell's value (at most the sign of a zero, which no sum or distance
    // that follows can tell). Skipping all of that takes the arithmetic off the
    // pixel-to-pixel dependency chain across flat areas.
    bool quiet = false;
    for (std::size_t i = 0; i < m_width; ++i) {
        const std::size_t x = leftToRight ? i : m_width - 1 - i;
        const std::size_t cell = x + 1;
        const Oklab& above = m_current[cell];
        if (quiet && isZero(above) && sameBits(pixels[x], lastQuery)) {
            const Rgb8 out = m_colors[lastChosen];
            rgbaRow[4 * x] = out.r;
            rgbaRow[4 * x + 1] = out.g;
            rgbaRow[4 * x + 2] = out.b;
            continue;
        }
        const Oklab error{above.l + carry.l, above.a + carry.a, above.b + carry.b};
        const Oklab v{pixels[x].l + error.l, pixels[x].a + error.a, pixels[x].b + error.b};
        if (!haveLast || !sameBits(v, lastQuery)) {
            lastChosen = m_palette.nearest(v);
            lastQuery = v;
            haveLast = true;
        }
        const std::uint32_t chosen = lastChosen;
        const Oklab& p = m_paletteColors[chosen];
        const Rgb8 out = m_colors[chosen];
        rgbaRow[4 * x] = out.r;
        rgbaRow[4 * x + 1] = out.g;
        rgbaRow[4 * x + 2] = out.b;

        const Oklab e{(v.l - p.l) * kStrength, (v.a - p.a) * kStrength, (v.b - p.b) * kStrength};
        quiet = isZero(e);
        carry = {e.l * (7.0f / 16.0f), e.a * (7.0f / 16.0f), e.b * (7.0f / 16.0f)};
        addScaled(m_next[std::size_t(std::ptrdiff_t(cell) - ahead)], e, 3.0f / 16.0f);
        addScaled(m_next[cell], e, 5.0f / 16.0f);
        addScaled(m_next[std::size_t(std::ptrdiff_t(cell) + ahead)], e, 1.0f / 16.0f);
    }
    std::swap(m_current, m_next);
    std::fill(m_next.begin(), m_next.end(), Oklab{0.0f, 0.0f, 0.0f});
}

} // namespace glintwork::quantizer
