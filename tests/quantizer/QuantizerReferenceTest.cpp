// Values here were computed independently of this code, from the algorithm's definition, by
// reference_values.py in this folder (NumPy single-precision arithmetic, Python integers for the
// generator).

#include <array>
#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

#include "TestImages.h"
#include "quantizer/Oklab.h"
#include "quantizer/Xoroshiro128PlusPlus.h"
#include "quantizer/quantette.h"

namespace glintwork::quantizer::test {
namespace {

TEST(Sampler, FirstOutputsFromTheFixedSeed) {
    Xoroshiro128PlusPlus generator;
    EXPECT_EQ(generator.next(), 0x6f68e1e7e2646ee1ULL);
    EXPECT_EQ(generator.next(), 0xbf971b7f454094adULL);
    EXPECT_EQ(generator.next(), 0x48f2de556f30de38ULL);
    EXPECT_EQ(generator.next(), 0x6ea7c59f89bbfc75ULL);
}

struct IndexCase {
    std::uint64_t n;
    std::array<std::uint32_t, 6> expected;
};

class SamplerIndices : public ::testing::TestWithParam<IndexCase> {};

// n = 2^31 + 1 rejects almost half of all draws, so it pins the rejection rule; the others pin
// the multiply-shift mapping.
TEST_P(SamplerIndices, MatchTheReference) {
    Xoroshiro128PlusPlus generator;
    for (const std::uint32_t expected : GetParam().expected)
        EXPECT_EQ(generator.nextIndex(GetParam().n), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Sampler, SamplerIndices,
    ::testing::Values(
        IndexCase{1, {0, 0, 0, 0, 0, 0}}, IndexCase{3, {2, 0, 1, 1, 1, 2}},
        IndexCase{1000, {884, 270, 434, 538, 558, 855}},
        IndexCase{(std::uint64_t{1} << 31) + 1,
                  {580930134, 71947270, 1129761451, 2126343973, 1233073038, 1077788247}},
        IndexCase{12000000, {10612139, 3246200, 5212073, 6456296, 6703653, 10268840}}));

TEST(Sampler, FullRangeUsesTheDrawItself) {
    Xoroshiro128PlusPlus a;
    Xoroshiro128PlusPlus b;
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(a.nextIndex(std::uint64_t{1} << 32), b.nextU32());
}

struct OklabCase {
    std::array<std::uint8_t, 3> rgb;
    std::array<float, 3> lab;
};

class SrgbToOklabReference : public ::testing::TestWithParam<OklabCase> {};

TEST_P(SrgbToOklabReference, MatchesSinglePrecisionReference) {
    const SrgbToOklab converter;
    const auto& [rgb, lab] = GetParam();
    const Oklab got = converter.convert(rgb[0], rgb[1], rgb[2]);
    EXPECT_FLOAT_EQ(got.l, lab[0]);
    EXPECT_NEAR(got.a, lab[1], 1e-7);
    EXPECT_NEAR(got.b, lab[2], 1e-7);
    const Rgb8 back = srgb8FromOklab(got);
    EXPECT_EQ(back, (Rgb8{rgb[0], rgb[1], rgb[2]}));
}

INSTANTIATE_TEST_SUITE_P(
    Oklab, SrgbToOklabReference,
    ::testing::Values(
        OklabCase{{0, 0, 0}, {0.0f, 0.0f, 0.0f}},
        OklabCase{{255, 255, 255}, {1.0f, 0.0f, 5.960464477539063e-08f}},
        OklabCase{{200, 100, 50},
                  {0.6138376593589783f, 0.10045047104358673f, 0.10074225068092346f}},
        OklabCase{{1, 2, 3},
                  {0.08230914175510406f, -0.003926072269678116f, -0.007010743021965027f}},
        OklabCase{{0, 255, 0},
                  {0.8664395809173584f, -0.23388740420341492f, 0.17949849367141724f}}));

// With k = 1 Wu's box is the whole image and its mean, (0.5796, 0.0155, 0.0160) in Oklab, would
// come out as sRGB (134, 118, 111). The k-means steps at rate 1/sqrt(n) weight late samples more
// than a running mean would, which moves the single centroid to (0.5580, 0.0561, 0.0004), i.e.
// (144, 102, 114). One colour everywhere, alpha untouched.
TEST(Quantizer, SingleColourPaletteMatchesTheReference) {
    RgbaImage image(16, 12);
    for (std::uint32_t y = 0; y < image.height; ++y)
        for (std::uint32_t x = 0; x < image.width; ++x)
            image.set(x, y, static_cast<std::uint8_t>(16 * x), static_cast<std::uint8_t>(20 * y),
                      static_cast<std::uint8_t>((7 * x * y) % 256),
                      static_cast<std::uint8_t>(x + y));

    ASSERT_EQ(quantette_quantize_rgba(image.bytes.data(), image.width, image.height, 1), 0);

    for (std::uint32_t y = 0; y < image.height; ++y)
        for (std::uint32_t x = 0; x < image.width; ++x) {
            const std::uint8_t* p = image.pixel(x, y);
            ASSERT_EQ(p[0], 144) << x << "," << y;
            ASSERT_EQ(p[1], 102) << x << "," << y;
            ASSERT_EQ(p[2], 114) << x << "," << y;
            ASSERT_EQ(p[3], x + y) << x << "," << y;
        }
}

} // namespace
} // namespace glintwork::quantizer::test
