#include <gtest/gtest.h>

#include "cutout/CleanEdgeCompositor.h"
#include "platform/ImageServices.h"
#include "support/TestImages.h"
#include "support/TestSupport.h"

namespace glintwork {
namespace {

Image opaque(int width, int height, Pixel colour) {
    Image image = Image::make(width, height, 8, AlphaInfo::none, ColorSpace::sRGB(), 3);
    test::fill(image, [&](int, int, int i) { return colour[std::size_t(i)]; });
    return image;
}

Image fullMask(int width, int height) { return test::greyMask(width, height, [](int, int) { return 255; }); }

// A square subject of `side` at the top left and a second region: the minimum size is
// max(3000, 8 % of the largest) on 1000 × 1000, max(30, 8 %) on 100 × 100. Regions touching
// only at a corner are one; faint pixels (alpha 0.098) are never removed.
TEST(RemoveSmallComponents, IslandsBelowTheThresholdAreDropped) {
    const struct {
        const char* name;
        int canvas, side;
        int islandX, islandY, islandW, islandH;
        bool islandKept;
    } cases[] = {
        {"speck of 10 pixels", 1000, 300, 0, 500, 10, 1, false},
        {"5000 next to 50176 (minimum 4014)", 1000, 224, 0, 500, 100, 50, true},
        {"3000 next to 50176 (minimum 4014)", 1000, 224, 0, 500, 100, 30, false},
        {"2990 next to a small subject (minimum 3000)", 1000, 60, 0, 500, 115, 26, false},
        {"3000 next to a small subject (minimum 3000)", 1000, 60, 0, 500, 300, 10, true},
        {"25 touching a corner", 100, 20, 20, 20, 5, 5, true},
        {"25 one pixel off the corner", 100, 20, 21, 21, 5, 5, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Image alpha = test::greyMask(c.canvas, c.canvas, [&](int x, int y) {
            if (x < c.side && y < c.side)
                return 255;
            if (x >= c.islandX && x < c.islandX + c.islandW && y >= c.islandY && y < c.islandY + c.islandH)
                return 200;
            return x == c.canvas - 5 && y == c.canvas - 5 ? 25 : 0;
        });
        std::vector<std::uint8_t> kept = alpha.pixels;
        CleanEdgeCompositor::removeSmallComponents(kept, c.canvas, c.canvas);
        for (std::size_t i = 0; i < kept.size(); ++i)
            ASSERT_EQ(kept[i], alpha.pixels[i] == 200 && !c.islandKept ? 0 : alpha.pixels[i]) << i;
    }
}

TEST(CleanEdgeCompositor, EdgePixelsTakeTheSubjectsColourTwelvePixelsDeep) {
    // A red subject pixel, then a half-transparent edge still carrying the green backdrop,
    // then the backdrop itself, which is never recoloured.
    Image image = opaque(20, 1, {0, 255, 0});
    image.pixels[0] = 255;
    image.pixels[1] = 0;
    const Image matte = test::greyMask(20, 1, [](int x, int) { return x == 0 ? 255 : x < 19 ? 128 : 0; });
    const Image out = CleanEdgeCompositor::composite(image, matte);
    ASSERT_EQ(out.alphaInfo, AlphaInfo::last);
    for (int x = 1; x < 20; ++x)
        EXPECT_EQ(test::pixelAt(out, x, 0), (Pixel{std::uint8_t(x <= 12 ? 255 : 0), std::uint8_t(x <= 12 ? 0 : 255), 0,
                                                   std::uint8_t(x < 19 ? 128 : 0)})) << x;
}

TEST(CleanEdgeCompositor, OutputIsEightBitRGBAInTheSourcesColourSpace) {
    Image tagged = test::noiseImage(4, 4, 16, AlphaInfo::none, 3);
    tagged.byteOrder16 = ByteOrder16::little;
    tagged.colorSpace = ColorSpace::fromICC(ImageServices::sRGBProfile(), 3);
    const Image fromDeep = CleanEdgeCompositor::composite(tagged, fullMask(4, 4));
    EXPECT_EQ(fromDeep.bitsPerComponent, 8);
    EXPECT_EQ(fromDeep.colorSpace, tagged.colorSpace);
    EXPECT_EQ(fromDeep.pixels[0], std::lround(test::component(tagged, 0, 0, 0) * 255 / 65535));

    Image grey = Image::make(4, 4, 8, AlphaInfo::none, ColorSpace::deviceGray(), 1);
    std::fill(grey.pixels.begin(), grey.pixels.end(), 77);
    const Image fromGrey = CleanEdgeCompositor::composite(grey, fullMask(4, 4));
    EXPECT_EQ(fromGrey.colorSpace.kind, ColorSpace::Kind::deviceRGB);
    EXPECT_EQ(test::pixelAt(fromGrey, 3, 3), (Pixel{77, 77, 77, 255}));

    // A source with its own transparency is drawn premultiplied.
    Image translucent = Image::make(1, 1, 8, AlphaInfo::last, ColorSpace::sRGB(), 3);
    translucent.pixels = {200, 100, 50, 128};
    EXPECT_EQ(test::pixelAt(CleanEdgeCompositor::composite(translucent, fullMask(1, 1)), 0, 0),
              (Pixel{(200 * 128 + 127) / 255, (100 * 128 + 127) / 255, (50 * 128 + 127) / 255, 255}));

    // A half-size matte is scaled up before the thresholds.
    const Image out = CleanEdgeCompositor::composite(opaque(100, 80, {10, 20, 30}), fullMask(50, 40));
    EXPECT_EQ(out.pixels, test::solidImage(100, 80, {10, 20, 30, 255}).pixels);

    const Image empty = Image::make(0, 5, 8, AlphaInfo::none, ColorSpace::sRGB(), 3);
    EXPECT_EQ(test::errorText<CleanEdgeCompositor::CompositingError>(
                  [&] { (void)CleanEdgeCompositor::composite(empty, fullMask(1, 1)); }),
              "Image has invalid dimensions.");
}

} // namespace
} // namespace glintwork
