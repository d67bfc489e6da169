#include <array>
#include <cstdint>
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "TestImages.h"
#include "quantizer/quantette.h"

namespace glintwork::quantizer::test {
namespace {

struct OneColourCase {
    const char* name;
    std::array<std::uint8_t, 3> color;
    std::uint32_t maxColors;
};

class OneColourImage : public ::testing::TestWithParam<OneColourCase> {};

// A single colour gives a single palette entry with nothing to diffuse, so every pixel comes back
// as that colour after the trip through Oklab; these colours survive the trip exactly.
TEST_P(OneColourImage, ComesBackUnchanged) {
    const OneColourCase& c = GetParam();
    RgbaImage image(37, 23);
    for (std::uint32_t y = 0; y < image.height; ++y)
        for (std::uint32_t x = 0; x < image.width; ++x)
            image.set(x, y, c.color[0], c.color[1], c.color[2], static_cast<std::uint8_t>(x * 7));
    const RgbaImage before = image;

    ASSERT_EQ(quantette_quantize_rgba(image.bytes.data(), image.width, image.height, c.maxColors),
              0);

    EXPECT_EQ(image.bytes, before.bytes);
}

INSTANTIATE_TEST_SUITE_P(Quantizer, OneColourImage,
                         ::testing::Values(OneColourCase{"Black", {0, 0, 0}, 256},
                                           OneColourCase{"White", {255, 255, 255}, 256},
                                           OneColourCase{"Orange", {200, 100, 50}, 256},
                                           OneColourCase{"NearBlack", {1, 2, 3}, 16},
                                           OneColourCase{"PureGreen", {0, 255, 0}, 1},
                                           OneColourCase{"MidGrey", {128, 128, 128}, 64}),
                         [](const ::testing::TestParamInfo<OneColourCase>& info) {
                             return info.param.name;
                         });

// Colours far apart in Oklab land in different histogram bins; with k at least their number
// each gets a box of its own whose mean is the colour itself, and no error is left to diffuse.
TEST(Quantizer, KeepsUpToKWellSeparatedColours) {
    static constexpr std::uint8_t kColors[][3] = {
        {0, 0, 0},     {255, 255, 255}, {255, 0, 0},   {0, 255, 0},  {0, 0, 255},
        {255, 255, 0}, {0, 255, 255},   {255, 0, 255}, {128, 64, 0}, {90, 90, 90},
    };
    for (const std::uint32_t k : {10u, 11u, 64u, 256u}) {
        RgbaImage image(50, 30);
        for (std::uint32_t y = 0; y < image.height; ++y)
            for (std::uint32_t x = 0; x < image.width; ++x) {
                const auto& c = kColors[(x / 5 + 3 * (y / 6)) % 10];
                image.set(x, y, c[0], c[1], c[2]);
            }
        const RgbaImage before = image;

        ASSERT_EQ(quantette_quantize_rgba(image.bytes.data(), image.width, image.height, k), 0);

        for (std::size_t i = 0; i < image.bytes.size(); ++i)
            ASSERT_LE(std::abs(int(image.bytes[i]) - int(before.bytes[i])), 1)
                << "k = " << k << ", byte " << i;
    }
}

struct PaletteBoundCase {
    std::uint32_t width;
    std::uint32_t height;
    std::uint32_t maxColors;
    std::size_t leastExpected;
};

class PaletteBound : public ::testing::TestWithParam<PaletteBoundCase> {};

TEST_P(PaletteBound, OutputUsesAtMostKColours) {
    const PaletteBoundCase& c = GetParam();
    RgbaImage image = photoLikeImage(c.width, c.height, c.maxColors);

    ASSERT_EQ(quantette_quantize_rgba(image.bytes.data(), image.width, image.height, c.maxColors),
              0);

    const std::size_t used = image.distinctColors().size();
    EXPECT_LE(used, c.maxColors);
    // A busy image has far more clusters than k, so the palette should be (nearly) full: a few
    // entries may round to one sRGB colour or go unused by the dither.
    EXPECT_GE(used, c.leastExpected);
}

INSTANTIATE_TEST_SUITE_P(
    Quantizer, PaletteBound,
    ::testing::Values(PaletteBoundCase{64, 48, 1, 1}, PaletteBoundCase{64, 48, 2, 2},
                      PaletteBoundCase{64, 48, 16, 12}, PaletteBoundCase{200, 150, 64, 48},
                      PaletteBoundCase{300, 200, 256, 192}, PaletteBoundCase{1, 1, 256, 1},
                      PaletteBoundCase{1, 100, 8, 4}, PaletteBoundCase{100, 1, 8, 4}));

// The same input and k always give the same bytes: the sampler restarts from its fixed state and
// no result depends on timing or thread count. The image is large enough to be split into
// several histogram chunks and several remapping bands.
TEST(Quantizer, IsDeterministic) {
    const RgbaImage original = photoLikeImage(1200, 900, 7);
    RgbaImage first = original;
    RgbaImage second = original;
    ASSERT_EQ(quantette_quantize_rgba(first.bytes.data(), first.width, first.height, 200), 0);
    ASSERT_EQ(quantette_quantize_rgba(second.bytes.data(), second.width, second.height, 200), 0);
    EXPECT_EQ(first.bytes, second.bytes);
    EXPECT_NE(first.bytes, original.bytes);
}

} // namespace
} // namespace glintwork::quantizer::test
