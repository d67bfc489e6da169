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

namespace glintwork::quantizer::test {
namespace {

TEST(Sampler, FirstOutputsFromTheFixedSeed) {
    Xoroshiro128PlusPlus generator;
    for (const std::uint64_t expected : {0x6f68e1e7e2646ee1ULL, 0xbf971b7f454094adULL,
                                         0x48f2de556f30de38ULL, 0x6ea7c59f89bbfc75ULL})
        EXPECT_EQ(generator.next(), expected);
}

// n = 2^31 + 1 rejects almost half of all draws, so it pins the rejection rule; the others pin
// the multiply-shift mapping, and n = 2^32 takes the draw itself.
TEST(Sampler, IndicesMatchTheReference) {
    const struct {
        std::uint64_t n;
        std::array<std::uint32_t, 6> expected;
    } cases[] = {{1, {0, 0, 0, 0, 0, 0}},
                 {3, {2, 0, 1, 1, 1, 2}},
                 {1000, {884, 270, 434, 538, 558, 855}},
                 {(std::uint64_t{1} << 31) + 1,
                  {580930134, 71947270, 1129761451, 2126343973, 1233073038, 1077788247}},
                 {12000000, {10612139, 3246200, 5212073, 6456296, 6703653, 10268840}}};
    for (const auto& c : cases) {
        Xoroshiro128PlusPlus generator;
        for (const std::uint32_t expected : c.expected)
            EXPECT_EQ(generator.nextIndex(c.n), expected) << "n = " << c.n;
    }
    Xoroshiro128PlusPlus a;
    Xoroshiro128PlusPlus b;
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(a.nextIndex(std::uint64_t{1} << 32), b.nextU32());
}

TEST(Oklab, MatchesSinglePrecisionReferenceAndRoundTrips) {
    const struct {
        std::array<std::uint8_t, 3> rgb;
        std::array<float, 3> lab;
    } cases[] = {
        {{0, 0, 0}, {0.0f, 0.0f, 0.0f}},
        {{255, 255, 255}, {1.0f, 0.0f, 5.960464477539063e-08f}},
        {{200, 100, 50}, {0.6138376593589783f, 0.10045047104358673f, 0.10074225068092346f}},
        {{1, 2, 3}, {0.08230914175510406f, -0.003926072269678116f, -0.007010743021965027f}},
        {{0, 255, 0}, {0.8664395809173584f, -0.23388740420341492f, 0.17949849367141724f}}};
    const SrgbToOklab converter;
    for (const auto& [rgb, lab] : cases) {
        SCOPED_TRACE(testing::Message() << int(rgb[0]) << "," << int(rgb[1]) << "," << int(rgb[2]));
        const Oklab got = converter.convert(rgb[0], rgb[1], rgb[2]);
        EXPECT_FLOAT_EQ(got.l, lab[0]);
        EXPECT_NEAR(got.a, lab[1], 1e-7);
        EXPECT_NEAR(got.b, lab[2], 1e-7);
        EXPECT_EQ(srgb8FromOklab(got), (Rgb8{rgb[0], rgb[1], rgb[2]}));
    }
}

// With k = 1 Wu's box is the whole image and its mean, (0.5796, 0.0155, 0.0160) in Oklab, would
// come out as sRGB (134, 118, 111). The k-means steps at rate 1/sqrt(n) weight late samples more
// than a running mean would, which moves the single centroid to (0.5580, 0.0561, 0.0004), i.e.
// (144, 102, 114). One colour everywhere, alpha untouched.
TEST(Quantizer, SingleColourPaletteMatchesTheReference) {
    RgbaImage image(16, 12);
    for (std::uint32_t y = 0; y < image.height; ++y)
        for (std::uint32_t x = 0; x < image.width; ++x) {
            const std::uint8_t p[4] = {std::uint8_t(16 * x), std::uint8_t(20 * y),
                                       std::uint8_t((7 * x * y) % 256), std::uint8_t(x + y)};
            std::copy(p, p + 4, image.pixel(x, y));
        }
    ASSERT_EQ(image.quantize(1), 0);
    for (std::uint32_t y = 0; y < image.height; ++y)
        for (std::uint32_t x = 0; x < image.width; ++x) {
            const std::vector<int> expected{144, 102, 114, int(x + y)};
            ASSERT_EQ(std::vector<int>(image.pixel(x, y), image.pixel(x, y) + 4), expected)
                << x << "," << y;
        }
}

} // namespace
} // namespace glintwork::quantizer::test
