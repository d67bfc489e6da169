#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "quantizer/ColorHistogram.h"
#include "quantizer/Oklab.h"
#include "quantizer/PaletteQuantizer.h"
#include "quantizer/PaletteSearch.h"
#include "quantizer/SerpentineDither.h"
#include "quantizer/WuPalette.h"

namespace glintwork::quantizer::test {
namespace {

// Runs of one colour are converted once and copied; whatever the pattern, every pixel must come
// out exactly as if it were converted on its own (and alpha, varying inside runs, must not split
// a run). Runs of varying length, over a block's worth so the gathered heads refill, each
// differing from the one before in one channel only, each channel in turn; then no runs at all.
TEST(SrgbToOklab, RunsConvertLikeSinglePixels) {
    using Bits = std::array<std::uint32_t, 3>;
    const SrgbToOklab converter;
    constexpr std::size_t count = 20000;
    for (const bool runs : {true, false}) {
        std::vector<std::uint8_t> rgba(count * 4);
        for (std::size_t i = 0; i < count; ++i) {
            const std::size_t run = runs ? i / (3 + (i / 997) % 40) : i * 7;
            const std::uint8_t pixel[4] = {std::uint8_t((run + 2) / 3), std::uint8_t((run + 1) / 3),
                                           std::uint8_t(run / 3), std::uint8_t(i * 37)};
            std::copy(pixel, pixel + 4, rgba.begin() + std::ptrdiff_t(4 * i));
        }
        std::vector<Oklab> out(count);
        converter.convertRgba(rgba.data(), out.data(), count);
        for (std::size_t i = 0; i < count; ++i) {
            const Oklab single = converter.convert(rgba[4 * i], rgba[4 * i + 1], rgba[4 * i + 2]);
            ASSERT_EQ(std::bit_cast<Bits>(out[i]), std::bit_cast<Bits>(single))
                << "pixel " << i << (runs ? " of runs" : "");
        }
    }
}

// Dyadic coordinates and unit counts keep every moment and merit exact, so equal merits really
// are equal and only the tie rules decide.
TEST(Wu, PaletteFollowsTheCutRules) {
    const Oklab orange{0.6138376593589783f, 0.10045047104358673f, 0.10074225068092346f};
    const struct {
        std::size_t k;
        std::vector<Oklab> colors, expected;
    } cases[] = {
        {256, {}, {}}, // an empty histogram
        {256, std::vector<Oklab>(1000, orange), {orange}},
        // Bins are 1/32 wide in L, and a colour's bin is truncated, not rounded: 5.25 and 5.875
        // bins up are both in bin 5.
        {2, {{.1640625f, 0, 0}, {.18359375f, 0, 0}}, {{.173828125f, 0, 0}}},
        // Colours slightly outside the extent, from rounding, go to the end bins, not past them.
        {2, {{-.01f, 0, 0}, {1.2f, 0, 0}}, {{-.01f, 0, 0}, {1.2f, 0, 0}}},
        // Three equally spaced colours on L: {A}|{B,C} and {A,B}|{C} have equal merit; the lower
        // cut position wins, and the lower half keeps the first palette place.
        {2, {{.25f, 0, 0}, {.5f, 0, 0}, {.75f, 0, 0}}, {{.25f, 0, 0}, {.625f, 0, 0}}},
        // B at the corner of an L-shape: cutting A off along L or C off along a is worth the
        // same; L comes first. Then the same shape in the a-b plane: a before b.
        {2,
         {{.5f, -.1875f, 0}, {.25f, -.1875f, 0}, {.25f, .0625f, 0}},
         {{.25f, -.0625f, 0}, {.5f, -.1875f, 0}}},
        {2,
         {{.5f, .125f, 0}, {.5f, -.125f, 0}, {.5f, -.125f, -.25f}},
         {{.5f, -.125f, -.125f}, {.5f, .125f, 0}}},
        // A tight dark pair and a wide bright pair: once the first cut separates them, the wide
        // pair has the larger variance and is the one cut again.
        {3,
         {{.125f, 0, 0}, {.25f, 0, 0}, {.875f, -.125f, 0}, {.875f, .125f, 0}},
         {{.1875f, 0, 0}, {.875f, -.125f, 0}, {.875f, .125f, 0}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        ColorHistogram histogram;
        histogram.add(c.colors);
        EXPECT_EQ(wuPalette(histogram, c.k), c.expected);
    }
}

// A plain nearest search written the obvious way: smallest distance, first index on a tie.
std::uint32_t bruteForceNearest(const std::vector<Oklab>& palette, Oklab v) {
    float best = std::numeric_limits<float>::infinity();
    std::uint32_t index = 0;
    for (std::size_t i = 0; i < palette.size(); ++i) {
        const float dl = v.l - palette[i].l;
        const float da = v.a - palette[i].a;
        const float db = v.b - palette[i].b;
        const float d = dl * dl + da * da + db * db;
        if (d < best) {
            best = d;
            index = static_cast<std::uint32_t>(i);
        }
    }
    return index;
}

// Every instruction set the processor has (the others fall back to the scalar path) finds what
// a plain search finds, on palettes of sizes around every group boundary, so that padding lanes
// are exercised.
TEST(PaletteSearch, EveryPathAgreesWithBruteForceIncludingTies) {
    std::mt19937 random(11);
    std::uniform_real_distribution<float> unit(-0.3f, 1.0f);
    const auto colour = [&] { return Oklab{unit(random), unit(random) * 0.3f, unit(random) * 0.3f}; };
    for (const std::size_t size : {1u, 2u, 7u, 8u, 9u, 15u, 16u, 17u, 63u, 64u, 65u, 200u, 256u}) {
        std::vector<Oklab> palette(size);
        std::generate(palette.begin(), palette.end(), colour);
        // Duplicates: the first copy must win wherever it sits.
        if (size > 4)
            palette[size - 1] = palette[1], palette[size / 2] = palette[3];
        PaletteSearch search(palette);
        for (const auto path : {PaletteSearch::Path::Scalar, PaletteSearch::Path::Avx2,
                                PaletteSearch::Path::Avx512}) {
            search.usePath(path);
            // Half the queries sit exactly on a palette entry (distance 0, possibly twice).
            for (int q = 0; q < 2000; ++q) {
                const Oklab v = q % 2 ? palette[std::size_t(q) % size] : colour();
                ASSERT_EQ(search.nearest(v), bruteForceNearest(palette, v))
                    << "size " << size << ", path " << int(search.path());
            }
        }
    }
}

// Floyd-Steinberg written directly on a 2-D error grid, with explicit bounds tests instead of
// spare cells: an edge pixel receives error only from neighbours inside the image, and error
// aimed outside is dropped. Returns the palette index chosen for every pixel.
std::vector<std::uint32_t> referenceDither(const std::vector<Oklab>& pixels, std::size_t width,
                                           std::size_t height, const std::vector<Oklab>& palette) {
    std::vector<Oklab> error(pixels.size(), Oklab{0.0f, 0.0f, 0.0f});
    std::vector<std::uint32_t> chosen(pixels.size());
    for (std::size_t y = 0; y < height; ++y) {
        const std::ptrdiff_t dir = y % 2 == 0 ? 1 : -1;
        for (std::size_t i = 0; i < width; ++i) {
            const auto x = std::ptrdiff_t(dir > 0 ? i : width - 1 - i);
            const Oklab& p = pixels[y * width + std::size_t(x)];
            const Oklab& err = error[y * width + std::size_t(x)];
            const Oklab v{p.l + err.l, p.a + err.a, p.b + err.b};
            const std::uint32_t k = chosen[y * width + std::size_t(x)] =
                bruteForceNearest(palette, v);
            const Oklab e{(v.l - palette[k].l) * 0.875f, (v.a - palette[k].a) * 0.875f,
                          (v.b - palette[k].b) * 0.875f};
            for (const auto& [dx, dy, w] :
                 {std::tuple{dir, 0u, 7.0f}, {-dir, 1u, 3.0f}, {0, 1u, 5.0f}, {dir, 1u, 1.0f}}) {
                if (x + dx < 0 || x + dx >= std::ptrdiff_t(width) || y + dy >= height)
                    continue;
                Oklab& cell = error[(y + dy) * width + std::size_t(x + dx)];
                cell = {cell.l + e.l * (w / 16.0f), cell.a + e.a * (w / 16.0f),
                        cell.b + e.b * (w / 16.0f)};
            }
        }
    }
    return chosen;
}

// The dither chooses what the reference chooses, and leaves alpha alone.
void expectMatchesReference(const std::vector<Oklab>& pixels, std::size_t width,
                            const std::vector<Oklab>& palette) {
    const std::size_t height = pixels.size() / width;
    PaletteSearch search(palette);
    // Encode each entry's index in its output colour so the written bytes reveal the choice.
    std::vector<Rgb8> colors;
    for (std::size_t i = 0; i < palette.size(); ++i)
        colors.push_back({std::uint8_t(i), std::uint8_t(255 - i), 7});
    SerpentineDither dither(search, colors, width);
    std::vector<std::uint8_t> rgba(pixels.size() * 4, 0xA5);
    for (std::size_t y = 0; y < height; ++y)
        dither.remapRow(y, pixels.data() + y * width, rgba.data() + 4 * y * width);
    std::vector<std::uint32_t> chosen;
    for (std::size_t i = 0; i < pixels.size(); ++i) {
        EXPECT_EQ(rgba[4 * i + 3], 0xA5) << "alpha written at pixel " << i;
        chosen.push_back(rgba[4 * i]);
    }
    EXPECT_EQ(chosen, referenceDither(pixels, width, height, palette));
}

// Random pixels on a coarse palette leave large errors, so every edge pixel gets a visible
// share; at these sizes most pixels sit at an edge, where error aimed outside must be dropped
// and never wrap round to the other end of the next row.
TEST(Dither, ErrorAimedPastAnEdgeIsDropped) {
    std::mt19937 random(3);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    const std::vector<Oklab> coarse = {
        {0, 0, 0}, {1, 0, 0}, {0.5f, 0.2f, 0}, {0.5f, -0.2f, 0.1f}, {0.3f, 0, -0.25f}};
    for (const auto& [w, h] : {std::pair{1, 40}, {2, 30}, {3, 25}, {17, 1}, {17, 2}, {64, 48}}) {
        SCOPED_TRACE(testing::Message() << w << "x" << h);
        std::vector<Oklab> pixels(std::size_t(w * h));
        for (Oklab& p : pixels)
            p = {unit(random), (unit(random) - 0.5f) * 0.4f, (unit(random) - 0.5f) * 0.4f};
        expectMatchesReference(pixels, std::size_t(w), coarse);
    }
}

// Flat runs in exact palette colours diffuse no error, so their queries repeat and are skipped;
// error sent down from the row above (the first row is far off the palette on its left half)
// must still end such a run as the next row sweeps back from its clean side.
TEST(Dither, ErrorFromTheRowAboveEndsAFlatRun) {
    const Oklab on{0.5f, 0.25f, 0.25f};
    std::vector<Oklab> pixels(240, on);
    std::fill_n(pixels.begin(), 30, Oklab{0.7f, 0.25f, 0.25f});
    expectMatchesReference(pixels, 60, {on, {0.52f, 0.25f, 0.25f}, {0.48f, 0.25f, 0.25f}});
}

// A chart (flat fills, one-pixel lines, an anti-aliased disc) through the whole quantizer: its
// remapping must choose what the plain per-pixel reference chooses with the same palette,
// although most of its pixels sit in runs whose queries repeat or whose error has died out.
TEST(Dither, WholeChartMatchesThePlainReference) {
    const std::uint32_t width = 640;
    const std::uint32_t height = 480;
    const std::uint8_t fills[6][3] = {{255, 255, 255}, {33, 99, 196}, {240, 160, 30},
                                      {60, 170, 90},   {200, 50, 60}, {40, 40, 48}};
    std::vector<std::uint8_t> rgba(std::size_t{width} * height * 4, 255);
    for (std::uint32_t y = 0; y < height; ++y)
        for (std::uint32_t x = 0; x < width; ++x) {
            const std::uint8_t* fill = fills[(x / 80 + (y / 60) * 3) % 5];
            if (x % 32 == 0 || y % 32 == 0)
                fill = fills[5];
            const double d = std::hypot(x - width * 0.5, y - height * 0.5) - height * 0.3;
            const double cover = std::clamp(0.5 - d, 0.0, 1.0);
            std::uint8_t* p = rgba.data() + 4 * (std::size_t{y} * width + x);
            for (int c = 0; c < 3; ++c)
                p[c] = std::uint8_t(std::lround(fill[c] * (1 - cover) + fills[4][c] * cover));
        }
    std::vector<Oklab> pixels(std::size_t{width} * height);
    SrgbToOklab().convertRgba(rgba.data(), pixels.data(), pixels.size());

    std::vector<std::uint8_t> out = rgba;
    const PaletteQuantizer::Result result =
        PaletteQuantizer::quantize(out.data(), width, height, 256);
    ASSERT_FALSE(result.palette.empty());
    const std::vector<std::uint32_t> expected =
        referenceDither(pixels, width, height, result.palette);
    for (std::size_t i = 0; i < pixels.size(); ++i) {
        const Rgb8 want = result.paletteColors[expected[i]];
        ASSERT_EQ((Rgb8{out[4 * i], out[4 * i + 1], out[4 * i + 2]}), want) << "pixel " << i;
    }
}

} // namespace
} // namespace glintwork::quantizer::test
