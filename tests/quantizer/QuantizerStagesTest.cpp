#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
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
// out exactly as if it were converted on its own (and alpha must not split a run).
TEST(SrgbToOklab, RunsConvertLikeSinglePixels) {
    const auto pattern = [](const char* name, std::size_t count, auto colourOf) {
        std::vector<std::uint8_t> rgba(count * 4);
        for (std::size_t i = 0; i < count; ++i) {
            const std::array<std::uint8_t, 3> c = colourOf(i);
            std::copy(c.begin(), c.end(), rgba.begin() + std::ptrdiff_t(4 * i));
            rgba[4 * i + 3] = std::uint8_t(i * 37); // alpha varies inside runs
        }
        return std::tuple{name, rgba};
    };
    const auto cases = {
        // Over a block's worth of runs of varying length, so the gathered heads refill.
        pattern("long runs", 20000,
                [](std::size_t i) {
                    const std::size_t run = i / (3 + (i / 997) % 40);
                    return std::array<std::uint8_t, 3>{std::uint8_t(run), std::uint8_t(run * 7),
                                                       std::uint8_t(255 - run)};
                }),
        // Neighbouring runs differ in one channel only, each channel in turn.
        pattern("one channel changes", 3000,
                [](std::size_t i) {
                    const std::size_t run = i / 5;
                    return std::array<std::uint8_t, 3>{std::uint8_t((run + 2) / 3),
                                                       std::uint8_t((run + 1) / 3),
                                                       std::uint8_t(run / 3)};
                }),
        pattern("no runs", 3000,
                [](std::size_t i) {
                    return std::array<std::uint8_t, 3>{std::uint8_t(i), std::uint8_t(i >> 3), 9};
                }),
        // Exactly a quarter of the pixels change colour: the run path's threshold.
        pattern(
            "quarter changes", 4097,
            [](std::size_t i) {
                return std::array<std::uint8_t, 3>{std::uint8_t(i / 4), 50, std::uint8_t(i / 4)};
            }),
        pattern("one pixel", 1,
                [](std::size_t) {
                    return std::array<std::uint8_t, 3>{12, 200, 77};
                }),
        pattern("one colour", 700,
                [](std::size_t) {
                    return std::array<std::uint8_t, 3>{250, 251, 252};
                }),
    };
    using Bits = std::array<std::uint32_t, 3>;
    const SrgbToOklab converter;
    for (const auto& [name, rgba] : cases) {
        SCOPED_TRACE(name);
        const std::size_t count = rgba.size() / 4;
        std::vector<Oklab> out(count);
        converter.convertRgba(rgba.data(), out.data(), count);
        for (std::size_t i = 0; i < count; ++i) {
            const Oklab single = converter.convert(rgba[4 * i], rgba[4 * i + 1], rgba[4 * i + 2]);
            ASSERT_EQ(std::bit_cast<Bits>(out[i]), std::bit_cast<Bits>(single)) << "pixel " << i;
        }
    }
}

TEST(CubeRoot, IsCorrectlyRoundedOverTheRangeColoursUse) {
    std::mt19937 random(5);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    for (int i = 0; i < 200000; ++i) {
        const float x = i < 100000 ? unit(random) : std::ldexp(unit(random), -(i % 20));
        ASSERT_EQ(cubeRoot(x), static_cast<float>(std::cbrt(double(x)))) << x;
    }
    EXPECT_EQ(cubeRoot(0.0f), 0.0f);
    EXPECT_EQ(cubeRoot(1.0f), 1.0f);
    EXPECT_EQ(cubeRoot(0.125f), 0.5f);
}

struct BinCase {
    float l;
    float a;
    float b;
    int expectedL;
    int expectedA;
    int expectedB;
};

class HistogramBins : public ::testing::TestWithParam<BinCase> {};

TEST_P(HistogramBins, TruncateThenClamp) {
    const BinCase& c = GetParam();
    EXPECT_EQ(ColorHistogram::binL(c.l), c.expectedL);
    EXPECT_EQ(ColorHistogram::binA(c.a), c.expectedA);
    EXPECT_EQ(ColorHistogram::binB(c.b), c.expectedB);
}

INSTANTIATE_TEST_SUITE_P(
    Wu, HistogramBins,
    ::testing::Values(BinCase{0.0f, -0.2338874f, -0.31152815f, 0, 0, 0},
                      BinCase{1.0f, 0.2762164f, 0.1985614f, 31, 15, 15},
                      // Slightly outside the sRGB extent, from rounding: clamped, not wrapped.
                      BinCase{-0.01f, -0.3f, -0.4f, 0, 0, 0}, BinCase{1.2f, 0.5f, 0.5f, 31, 15, 15},
                      // Truncation, not rounding: 0.99 of a bin stays in the bin below.
                      BinCase{(5.0f + 0.99f) / 32.0f, -0.2338874f + 3.99f / 31.366163f,
                              -0.31152815f + 8.5f / 31.366529f, 5, 3, 8},
                      // a = 0 and b = 0 (greys).
                      BinCase{0.5f, 0.0f, 0.0f, 16, 7, 9}));

std::vector<Oklab> wuOf(const std::vector<std::pair<Oklab, int>>& colors, std::size_t k) {
    ColorHistogram histogram;
    for (const auto& [color, count] : colors)
        histogram.add(std::vector<Oklab>(std::size_t(count), color));
    return wuPalette(histogram, k);
}

TEST(Wu, EmptyHistogramGivesNoPalette) {
    EXPECT_TRUE(wuPalette(ColorHistogram{}, 256).empty());
}

TEST(Wu, OneColourGivesOneEntryWhateverK) {
    const Oklab c{0.6138376593589783f, 0.10045047104358673f, 0.10074225068092346f};
    const std::vector<Oklab> palette = wuOf({{c, 1000}}, 256);
    ASSERT_EQ(palette.size(), 1u);
    EXPECT_EQ(palette[0], c);
}

TEST(Wu, TwoColoursInOneBinCannotBeSeparated) {
    // 1/128 apart in L: both in L bin 16 (bins are 1/32 wide).
    const std::vector<Oklab> palette =
        wuOf({{{0.5f, 0.0f, 0.0f}, 1}, {{0.5078125f, 0.0f, 0.0f}, 3}}, 8);
    ASSERT_EQ(palette.size(), 1u);
    EXPECT_FLOAT_EQ(palette[0].l, 0.50585938f);
}

// Dyadic coordinates and unit counts keep every moment and merit exact, so the equal merits below
// really are equal and only the tie rules decide.
struct TieCase {
    const char* name;
    std::vector<std::pair<Oklab, int>> colors;
    std::vector<Oklab> expected;
};

class WuTies : public ::testing::TestWithParam<TieCase> {};

TEST_P(WuTies, FollowTheTieRules) {
    const std::vector<Oklab> palette = wuOf(GetParam().colors, 2);
    EXPECT_EQ(palette, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Wu, WuTies,
    ::testing::Values(
        // Three equally spaced colours on L: {A}|{B,C} and {A,B}|{C} have equal merit; the lower
        // cut position wins, and the lower half keeps the first palette place.
        TieCase{"LowerPositionWins",
                {{{0.25f, 0.0f, 0.0f}, 1}, {{0.5f, 0.0f, 0.0f}, 1}, {{0.75f, 0.0f, 0.0f}, 1}},
                {{0.25f, 0.0f, 0.0f}, {0.625f, 0.0f, 0.0f}}},
        // B at the corner of an L-shape: cutting A off along L or C off along a is worth the
        // same; L comes first.
        TieCase{"EarlierAxisWins",
                {{{0.5f, -0.1875f, 0.0f}, 1},
                 {{0.25f, -0.1875f, 0.0f}, 1},
                 {{0.25f, 0.0625f, 0.0f}, 1}},
                {{0.25f, -0.0625f, 0.0f}, {0.5f, -0.1875f, 0.0f}}},
        // The same shape in the a-b plane: a before b.
        TieCase{
            "AOverB",
            {{{0.5f, 0.125f, 0.0f}, 1}, {{0.5f, -0.125f, 0.0f}, 1}, {{0.5f, -0.125f, -0.25f}, 1}},
            {{0.5f, -0.125f, -0.125f}, {0.5f, 0.125f, 0.0f}}}),
    [](const ::testing::TestParamInfo<TieCase>& info) { return info.param.name; });

TEST(Wu, SplitsTheWidestClusterFirst) {
    // A tight dark pair and a wide bright pair: after the first cut separates them, the wide pair
    // has the larger variance, so with k = 3 it is the one cut again.
    const std::vector<Oklab> palette = wuOf({{{0.1f, 0.0f, 0.0f}, 10},
                                             {{0.2f, 0.0f, 0.0f}, 10},
                                             {{0.9f, -0.15f, 0.0f}, 10},
                                             {{0.9f, 0.15f, 0.0f}, 10}},
                                            3);
    ASSERT_EQ(palette.size(), 3u);
    int darkEntries = 0;
    for (const Oklab& c : palette)
        darkEntries += c.l < 0.5f ? 1 : 0;
    EXPECT_EQ(darkEntries, 1);
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

class SearchPaths : public ::testing::TestWithParam<PaletteSearch::Path> {};

TEST_P(SearchPaths, AgreeWithBruteForceIncludingTies) {
    PaletteSearch probe({});
    probe.usePath(GetParam());
    if (probe.path() != GetParam())
        GTEST_SKIP() << "this processor lacks the instruction set";

    std::mt19937 random(11);
    std::uniform_real_distribution<float> unit(-0.3f, 1.0f);
    // Sizes around every group boundary, so padding lanes are exercised.
    for (const std::size_t size : {1u, 2u, 7u, 8u, 9u, 15u, 16u, 17u, 63u, 64u, 65u, 200u, 256u}) {
        std::vector<Oklab> palette;
        for (std::size_t i = 0; i < size; ++i)
            palette.push_back({unit(random), unit(random) * 0.3f, unit(random) * 0.3f});
        // Duplicates: the first copy must win wherever it sits.
        if (size > 4) {
            palette[size - 1] = palette[1];
            palette[size / 2] = palette[3];
        }
        PaletteSearch search(palette);
        search.usePath(GetParam());
        for (int q = 0; q < 2000; ++q) {
            // Half the queries sit exactly on a palette entry (distance 0, possibly twice).
            const Oklab v = q % 2 ? palette[std::size_t(q) % size]
                                  : Oklab{unit(random), unit(random) * 0.3f, unit(random) * 0.3f};
            ASSERT_EQ(search.nearest(v), bruteForceNearest(palette, v)) << "size " << size;
        }
    }
}

TEST_P(SearchPaths, EquidistantEntriesGoToTheLowestIndex) {
    // Dyadic values: both distances are exactly 1/16.
    std::vector<Oklab> palette(40, Oklab{5.0f, 5.0f, 5.0f});
    palette[37] = {0.75f, 0.0f, 0.0f};
    palette[21] = {0.25f, 0.0f, 0.0f};
    PaletteSearch search(palette);
    search.usePath(GetParam());
    if (search.path() != GetParam())
        GTEST_SKIP() << "this processor lacks the instruction set";
    EXPECT_EQ(search.nearest({0.5f, 0.0f, 0.0f}), 21u);
}

INSTANTIATE_TEST_SUITE_P(PaletteSearch, SearchPaths,
                         ::testing::Values(PaletteSearch::Path::Scalar, PaletteSearch::Path::Avx2,
                                           PaletteSearch::Path::Avx512),
                         [](const ::testing::TestParamInfo<PaletteSearch::Path>& info) {
                             switch (info.param) {
                             case PaletteSearch::Path::Scalar:
                                 return "Scalar";
                             case PaletteSearch::Path::Avx2:
                                 return "Avx2";
                             case PaletteSearch::Path::Avx512:
                                 return "Avx512";
                             }
                             return "Unknown";
                         });

// Floyd-Steinberg written directly on a 2-D error grid, with explicit bounds tests instead of
// spare cells: an edge pixel receives error only from neighbours inside the image, and error
// aimed outside is dropped. Returns the palette index chosen for every pixel.
std::vector<std::uint32_t> referenceDither(const std::vector<Oklab>& pixels, std::size_t width,
                                           std::size_t height, const std::vector<Oklab>& palette) {
    std::vector<Oklab> error(pixels.size(), Oklab{0.0f, 0.0f, 0.0f});
    std::vector<std::uint32_t> chosen(pixels.size());
    auto push = [&](std::ptrdiff_t x, std::size_t y, const Oklab& e, float w) {
        if (x < 0 || x >= std::ptrdiff_t(width) || y >= height)
            return;
        Oklab& cell = error[y * width + std::size_t(x)];
        cell.l += e.l * w;
        cell.a += e.a * w;
        cell.b += e.b * w;
    };
    for (std::size_t y = 0; y < height; ++y) {
        const bool forward = y % 2 == 0;
        const std::ptrdiff_t dir = forward ? 1 : -1;
        for (std::size_t i = 0; i < width; ++i) {
            const std::ptrdiff_t x = forward ? std::ptrdiff_t(i) : std::ptrdiff_t(width - 1 - i);
            const Oklab& p = pixels[y * width + std::size_t(x)];
            const Oklab& err = error[y * width + std::size_t(x)];
            const Oklab v{p.l + err.l, p.a + err.a, p.b + err.b};
            const std::uint32_t k = bruteForceNearest(palette, v);
            chosen[y * width + std::size_t(x)] = k;
            const Oklab e{(v.l - palette[k].l) * 0.875f, (v.a - palette[k].a) * 0.875f,
                          (v.b - palette[k].b) * 0.875f};
            push(x + dir, y, e, 7.0f / 16.0f);
            push(x - dir, y + 1, e, 3.0f / 16.0f);
            push(x, y + 1, e, 5.0f / 16.0f);
            push(x + dir, y + 1, e, 1.0f / 16.0f);
        }
    }
    return chosen;
}

std::vector<std::uint32_t> ditherIndices(const std::vector<Oklab>& pixels, std::size_t width,
                                         std::size_t height, const std::vector<Oklab>& palette) {
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
    return chosen;
}

struct DitherCase {
    std::size_t width;
    std::size_t height;
};

class SerpentineEdges : public ::testing::TestWithParam<DitherCase> {};

TEST_P(SerpentineEdges, MatchAReferenceThatDropsErrorPastTheEdges) {
    const auto [width, height] = GetParam();
    std::mt19937 random(unsigned(width * 131 + height));
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    // A coarse palette leaves large errors, so every edge pixel gets a visible share.
    const std::vector<Oklab> palette = {{0.0f, 0.0f, 0.0f},
                                        {1.0f, 0.0f, 0.0f},
                                        {0.5f, 0.2f, 0.0f},
                                        {0.5f, -0.2f, 0.1f},
                                        {0.3f, 0.0f, -0.25f}};
    std::vector<Oklab> pixels;
    for (std::size_t i = 0; i < width * height; ++i)
        pixels.push_back(
            {unit(random), (unit(random) - 0.5f) * 0.4f, (unit(random) - 0.5f) * 0.4f});

    EXPECT_EQ(ditherIndices(pixels, width, height, palette),
              referenceDither(pixels, width, height, palette));
}

INSTANTIATE_TEST_SUITE_P(Dither, SerpentineEdges,
                         ::testing::Values(DitherCase{1, 40}, DitherCase{2, 30}, DitherCase{3, 25},
                                           DitherCase{17, 1}, DitherCase{17, 2},
                                           DitherCase{64, 48}));

// Flat runs in exact palette colours diffuse no error, so the same query repeats pixel after
// pixel. Stray pixels break such runs: the opposite hue at the same lightness (the two entries
// share theirs, so only a and b tell them apart), and soft-edged discs whose edge pixels lie
// between entries, so their error spreads into the runs around them and dies out there.
TEST(Dither, FlatRunsBrokenByStrayPixelsMatchTheReference) {
    std::vector<Oklab> palette = {{0.5f, 0.12f, 0.04f}, {0.5f, -0.12f, -0.04f}};
    for (int i = 0; i < 12; ++i)
        palette.push_back({0.2f + 0.05f * float(i), 0.01f * float(i % 3), -0.01f * float(i % 2)});
    const std::size_t width = 61;
    const std::size_t height = 47;
    std::vector<Oklab> pixels;
    for (std::size_t y = 0; y < height; ++y)
        for (std::size_t x = 0; x < width; ++x) {
            Oklab p = palette[(x / 9 + y / 7) % palette.size()];
            for (const auto& [cx, cy, r] : {std::tuple{20.0f, 15.0f, 6.3f}, {44.0f, 33.0f, 9.6f}}) {
                const float d = std::hypot(float(x) - cx, float(y) - cy) - r;
                const float cover = std::clamp(0.5f - d, 0.0f, 1.0f);
                const Oklab& disc = palette[5];
                p = {p.l + (disc.l - p.l) * cover, p.a + (disc.a - p.a) * cover,
                     p.b + (disc.b - p.b) * cover};
            }
            pixels.push_back(p);
        }
    for (const auto& [x, y] : {std::pair{4, 0}, {40, 5}, {13, 30}}) {
        Oklab& p = pixels[std::size_t(y) * width + std::size_t(x)];
        p = {p.l, -p.a, -p.b};
    }
    EXPECT_EQ(ditherIndices(pixels, width, height, palette),
              referenceDither(pixels, width, height, palette));
}

// A run in an exact palette colour that diffuses nothing, until error sent down from the row
// above arrives: the first row is far off the palette on its left part and exactly on it
// elsewhere; the rows below are exactly on it everywhere and must pick up that error as they
// sweep back from the clean right-hand side.
TEST(Dither, ErrorFromTheRowAboveEndsAFlatRun) {
    const Oklab on{0.5f, 0.25f, 0.25f};
    const std::vector<Oklab> palette = {on, {0.52f, 0.25f, 0.25f}, {0.48f, 0.25f, 0.25f}};
    const std::size_t width = 60;
    const std::size_t height = 4;
    std::vector<Oklab> pixels(width * height, on);
    for (std::size_t x = 0; x < 30; ++x)
        pixels[x] = {0.7f, 0.25f, 0.25f};
    const std::vector<std::uint32_t> chosen = ditherIndices(pixels, width, height, palette);
    EXPECT_EQ(chosen, referenceDither(pixels, width, height, palette));
    EXPECT_NE(std::count(chosen.begin() + width, chosen.end(), 1u), 0) << "no error reached row 1";
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

// Diffusion turns a flat grey between two entries into a mix of both in about its proportion
// (7/8 strength pulls the share a little towards the nearer entry).
TEST(Dither, FlatGreyBecomesAProportionalMix) {
    const std::vector<Oklab> palette = {{0.0f, 0.0f, 0.0f}, {1.0f, 0.0f, 0.0f}};
    for (const float level : {0.1f, 0.3f, 0.5f, 0.7f, 0.9f}) {
        const std::size_t width = 64;
        const std::size_t height = 64;
        const std::vector<Oklab> pixels(width * height, Oklab{level, 0.0f, 0.0f});
        const std::vector<std::uint32_t> chosen = ditherIndices(pixels, width, height, palette);
        double share = 0.0;
        for (const std::uint32_t c : chosen)
            share += c;
        share /= double(chosen.size());
        EXPECT_NEAR(share, level, 0.06) << "level " << level;
    }
}

// The classic failure of a flat error buffer: error pushed past the right end of one row lands
// on the left end of the next. Row 0 ends in a pixel far from the palette; the whole of row 1 is
// exactly a palette colour, and must stay so.
TEST(Dither, ErrorPastTheRightEdgeIsDropped) {
    const std::vector<Oklab> palette = {{0.0f, 0.0f, 0.0f}, {1.0f, 0.0f, 0.0f}};
    const std::size_t width = 6;
    std::vector<Oklab> pixels(width * 3, Oklab{0.0f, 0.0f, 0.0f});
    pixels[width - 1] = {0.45f, 0.0f, 0.0f}; // row 0, right edge: large error, still black
    // Row 1 runs right to left, so its last pixel is on the left edge. Just below the midpoint:
    // any error leaked from the far edge of row 0 would push it to white.
    pixels[width] = {0.49f, 0.0f, 0.0f};
    const std::vector<std::uint32_t> chosen = ditherIndices(pixels, width, 3, palette);
    EXPECT_EQ(chosen[width], 0u);
    EXPECT_EQ(chosen, referenceDither(pixels, width, 3, palette));
}

} // namespace
} // namespace glintwork::quantizer::test
