#include <algorithm>

#include <gtest/gtest.h>

#include "cutout/AlphaComposition.h"
#include "cutout/MaskResampling.h"
#include "platform/Error.h"

namespace glintwork {
namespace {

TEST(MaskResampleTest, HitsTheExactSizeKeepsUniformMasksUniformAndSameSizeIsTheIdentity) {
    const struct {
        int width, height, targetWidth, targetHeight;
    } cases[] = {
        {64, 48, 504, 378}, // 7.875x up, as for a model mask on a photo
        {100, 100, 33, 77}, {3, 1, 1, 1}, {1, 1, 5, 3}, {17, 9, 17, 9}, {10, 10, 11, 9},
    };
    for (const auto& c : cases)
        for (const std::uint8_t value : {0, 128, 255}) {
            SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " -> " << c.targetWidth
                                            << "x" << c.targetHeight << " value " << int(value));
            const std::vector<std::uint8_t> mask(std::size_t(c.width * c.height), value);
            const auto out = resampleMaskLanczos(mask.data(), c.width, c.height,
                                                                c.targetWidth, c.targetHeight);
            ASSERT_EQ(out.size(), std::size_t(c.targetWidth * c.targetHeight));
            EXPECT_TRUE(std::all_of(out.begin(), out.end(), [&](auto v) { return v == value; }));
        }
    std::vector<std::uint8_t> mask(13 * 7);
    for (std::size_t i = 0; i < mask.size(); ++i)
        mask[i] = std::uint8_t(i * 37);
    EXPECT_EQ(resampleMaskLanczos(mask.data(), 13, 7, 13, 7), mask);
    EXPECT_THROW((void)resampleMaskLanczos(nullptr, 1, 1, 1, 1), Error);
    EXPECT_THROW((void)resampleMaskLanczos(mask.data(), 1, 1, 0, 4), Error);
}

TEST(MaskResampleTest, ShrinkingAveragesAndRingingIsClamped) {
    // Columns 0/255 in a period of three: shrinking by three lands each output on one
    // column, so a filter that does not widen with the scale would copy 0 or 255.
    std::vector<std::uint8_t> mask(63 * 6);
    for (std::size_t i = 0; i < mask.size(); ++i)
        mask[i] = i % 63 % 3 == 1 ? 255 : 0;
    const auto out = resampleMaskLanczos(mask.data(), 63, 6, 21, 2);
    for (int x = 2; x < 19; ++x)
        EXPECT_NEAR(out[std::size_t(x)], 85, 12) << "column " << x;

    // A step edge upscaled: far from the edge the kernel sees one value only; near it,
    // Lanczos rings and the result must be clamped rather than wrap around.
    const std::uint8_t step[] = {0, 0, 0, 0, 0, 0, 255, 255, 255, 255, 255, 255};
    const auto up = resampleMaskLanczos(step, 12, 1, 48, 1);
    ASSERT_EQ(up.size(), 48u);
    EXPECT_EQ(up.front(), 0);
    EXPECT_EQ(up.back(), 255);
    for (int i = 0; i < 48; ++i)
        EXPECT_NEAR(int(up[std::size_t(i)]) + int(up[std::size_t(47 - i)]), 255, 1) << i;
    EXPECT_LT(up[20], 60);
    EXPECT_GT(up[27], 195);
    EXPECT_LT(up[22], up[25]);
}

} // namespace
} // namespace glintwork
