#include <algorithm>
#include <tuple>

#include <gtest/gtest.h>

#include "platform/ImageServices.h"
#include "support/TestImages.h"

namespace glintwork {
namespace {

using test::component;

TEST(DownscaleTest, ProducesTheExactSizeKeepsLayoutAndColourAndDoesNotDarkenEdges) {
    const struct {
        int width, height, targetWidth, targetHeight, bits;
        AlphaInfo alpha;
    } cases[] = {
        {100, 80, 33, 27, 16, AlphaInfo::last},
        {7, 5, 1, 1, 8, AlphaInfo::last},
        {30, 20, 29, 19, 8, AlphaInfo::premultipliedLast},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " -> " << c.targetWidth
                                        << "x" << c.targetHeight << " " << c.bits << "-bit");
        const int max = c.bits == 16 ? 65535 : 255;
        const int colour[] = {max / 5, max / 2, max * 4 / 5, max};
        Image source = Image::make(c.width, c.height, c.bits, c.alpha,
                                   ColorSpace::fromICC(QByteArray("profile"), 3), 3);
        test::fill(source, [&](int, int, int i) { return colour[i]; });
        const Image out = ImageServices::downscale(source, c.targetWidth, c.targetHeight);
        ASSERT_EQ(std::tuple(out.width, out.height, out.bitsPerComponent, out.alphaInfo,
                             out.bytesPerRow),
                  std::tuple(c.targetWidth, c.targetHeight, c.bits,
                             c.alpha == AlphaInfo::none ? AlphaInfo::none : AlphaInfo::last,
                             out.width * out.bytesPerPixel()));
        EXPECT_EQ(out.colorSpace, source.colorSpace);
        for (int y = 0; y < out.height; ++y)
            for (int x = 0; x < out.width; ++x)
                for (int i = 0; i < out.componentsPerPixel(); ++i)
                    ASSERT_NEAR(component(out, x, y, i), colour[i], max / 200.0 + 1)
                        << x << "," << y << "," << i;
    }

    // Opaque red beside transparent black: filtering straight colours would pull the edge
    // towards black.
    Image image = Image::make(20, 20, 8, AlphaInfo::last, ColorSpace::sRGB(), 3);
    test::fill(image, [](int x, int, int i) { return x < 10 && (i == 0 || i == 3) ? 255 : 0; });
    const Image out = ImageServices::downscale(image, 7, 7);
    int edgePixels = 0;
    for (int y = 0; y < 7; ++y)
        for (int x = 0; x < 7; ++x) {
            const double alpha = component(out, x, y, 3);
            if (alpha < 10 || alpha > 245)
                continue;
            ++edgePixels;
            EXPECT_GE(component(out, x, y, 0), 245) << x << "," << y;
            EXPECT_LE(component(out, x, y, 1), 5);
        }
    EXPECT_GT(edgePixels, 0);
}

// The writers take the same path from our layouts into libvips. Every layout the program makes:
// grey, 16-bit in either byte order, premultiplied, tagged sRGB; rows may be padded.
TEST(ToRGBA8Test, ConvertsEveryLayoutToStraightEightBitRGBA) {
    using A = AlphaInfo;
    const auto image = [](int bits, A alpha, ColorSpace space, std::vector<std::uint8_t> pixels,
                          ByteOrder16 order = ByteOrder16::big) {
        Image image = Image::make(1, 1, bits, alpha, space, space.componentCount);
        image.bytesPerRow = int(pixels.size()); // any row padding
        image.pixels = std::move(pixels);
        image.byteOrder16 = order;
        return image;
    };
    const ColorSpace grey = ColorSpace::deviceGray(), rgb = ColorSpace::sRGB();
    const struct {
        Image image;
        std::vector<int> pixel;
    } cases[] = {
        {image(16, A::last, grey, {0x12, 0x34, 0xFF, 0xEE}), {0x12, 0x12, 0x12, 0xFF}},
        {image(16, A::none, rgb, {0xAB, 0xCD, 0x12, 0x34, 0, 0xFF}), {0xAB, 0x12, 0, 255}},
        {image(16, A::none, rgb, {0xAB, 0xCD, 0x12, 0x34, 0, 0xFF}, ByteOrder16::little),
         {0xCD, 0x34, 0xFF, 255}},
        // 50 % alpha over (200, 100, 50) stores (100, 50, 25).
        {image(8, A::premultipliedLast, rgb, {100, 50, 25, 128, 77}), {199, 100, 50, 128}},
        // An sRGB profile must not shift colours.
        {image(8, A::none, ColorSpace::fromICC(ImageServices::sRGBProfile(), 3), {16, 128, 240}),
         {16, 128, 240, 255}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "alpha info " << int(c.image.alphaInfo) << ", "
                                        << c.image.bitsPerComponent << "-bit");
        const Image out = ImageServices::toRGBA8(c.image);
        EXPECT_EQ(std::tuple(out.bitsPerPixel, out.bytesPerRow, out.alphaInfo),
                  std::tuple(32, 4, A::last));
        for (int i = 0; i < 4; ++i)
            EXPECT_NEAR(component(out, 0, 0, i), c.pixel[std::size_t(i)], 2) << i;
    }
}

} // namespace
} // namespace glintwork
