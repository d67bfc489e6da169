#include <gtest/gtest.h>

#include "cutout/AlphaComposition.h"
#include "cutout/CleanEdgeCompositor.h"
#include "platform/ImageServices.h"
#include "support/TestImages.h"
#include "support/TestSupport.h"

namespace glintwork {
namespace {

using test::component;

Image fullMask(int width, int height) { return test::greyMask(width, height, [](int, int) { return 255; }); }

Image opaque(int width, int height, Pixel colour) {
    Image image = Image::make(width, height, 8, AlphaInfo::none, ColorSpace::sRGB(), 3);
    test::fill(image, [&](int, int, int i) { return colour[std::size_t(i)]; });
    return image;
}

TEST(WithMaskAsAlpha, KeepsEveryColourSampleInEveryLayout) {
    using enum AlphaInfo;
    const std::tuple<int, AlphaInfo, ByteOrder16> layouts[] = {
        {8, last, ByteOrder16::big}, {8, first, ByteOrder16::big}, {8, premultipliedLast, ByteOrder16::big},
        {8, premultipliedFirst, ByteOrder16::big}, {8, none, ByteOrder16::big}, {8, noneSkipLast, ByteOrder16::big},
        {8, noneSkipFirst, ByteOrder16::big}, {16, none, ByteOrder16::little}, {16, last, ByteOrder16::big},
        {16, noneSkipFirst, ByteOrder16::little}};
    const Image mask = test::greyMask(13, 7, [](int x, int y) { return (x * 31 + y * 17) % 256; });
    for (const auto& [bits, alphaInfo, order] : layouts) {
        SCOPED_TRACE(std::to_string(bits) + " bits, alpha " + std::to_string(int(alphaInfo)));
        const int red = alphaInfo == first || alphaInfo == premultipliedFirst || alphaInfo == noneSkipFirst ? 1 : 0;
        Image source = test::noiseImage(13, 7, bits, alphaInfo, 3, /*padding=*/5);
        source.byteOrder16 = order;
        source.colorSpace = ColorSpace::fromICC(QByteArray("profile bytes"), 3);
        const Image out = withMaskAsAlpha(source, mask);
        ASSERT_EQ(out.pixels.size(), std::size_t(13 * 7 * 4 * bits / 8)) << "packed RGBA";
        EXPECT_EQ(out.alphaInfo, last);
        EXPECT_EQ(out.colorSpace, source.colorSpace);
        ASSERT_EQ(std::pair(out.bitsPerComponent, out.byteOrder16), std::pair(bits, bits == 16 ? order : out.byteOrder16));
        int mismatches = 0;
        for (int i = 0; i < 13 * 7 * 4; ++i) {
            const int x = i / 4 % 13, y = i / 52, k = i % 4;
            mismatches += component(out, x, y, k) !=
                          (k < 3 ? component(source, x, y, red + k) : mask.row(y)[x] * (bits == 16 ? 257 : 1));
        }
        EXPECT_EQ(mismatches, 0);
    }
}

TEST(WithMaskAsAlpha, RefusesWithTheFirstFailingCheck) {
    // Changes to a packed 4 × 4 RGB image; dimensions are checked first.
    const std::pair<std::function<void(Image&)>, const char*> cases[] = {
        {[](Image& i) { i = Image::make(4, 4, 32, AlphaInfo::none, ColorSpace::sRGB(), 1); },
         "Floating-point pixel formats are not supported in Glintwork."},
        {[](Image& i) { i.colorSpace = {}; }, "Source image has no color space; refusing to fabricate one."},
        {[](Image& i) { i.pixels.pop_back(); }, "Source pixel data is truncated (expected 48 bytes, got 47)."},
        {[](Image& i) { i.pixels.clear(); }, "Source image pixel data could not be read."},
        {[](Image& i) { i.bytesPerRow = 11; }, // rows shorter than their pixels
         "Unsupported pixel format (bitsPerComponent=8, bitsPerPixel=24, alphaInfo=0)."},
        {[](Image& i) { i.alphaInfo = AlphaInfo::last; }, // alpha without its component
         "Unsupported pixel format (bitsPerComponent=8, bitsPerPixel=24, alphaInfo=3)."},
        {[](Image& i) { i.bitsPerComponent = 32; },
         "Unsupported pixel format (bitsPerComponent=32, bitsPerPixel=24, alphaInfo=0)."},
        {[](Image& i) { i = Image::make(0, 4, 32, AlphaInfo::none, ColorSpace::sRGB(), 3); },
         "Invalid image dimensions (width=0, height=4)."},
    };
    for (const auto& [change, text] : cases) {
        Image source = test::noiseImage(4, 4, 8, AlphaInfo::none, 3);
        change(source);
        EXPECT_EQ(test::errorText<AlphaCompositionError>([&] { (void)withMaskAsAlpha(source, fullMask(4, 4)); }), text);
    }
}

TEST(WithMaskAsAlpha, RescalesASmallerMaskWithLanczos) {
    const Image mask = test::greyMask(16, 12, [](int x, int) { return x < 8 ? 0 : 255; });
    const Image out = withMaskAsAlpha(test::noiseImage(64, 48, 8, AlphaInfo::none, 3), mask);
    const auto expected = resampleMaskLanczos(mask.pixels.data(), 16, 12, 64, 48);
    for (int i = 0; i < 64 * 48; ++i)
        ASSERT_EQ(out.pixels[std::size_t(4 * i + 3)], expected[std::size_t(i)]) << i;
}

TEST(MaskAsLinearGray, PaddedAndSixteenBitMasksAreReadAsPackedGrey) {
    Image mask = test::noiseImage(9, 5, 8, AlphaInfo::none, 1, /*padding=*/7);
    mask.colorSpace = ColorSpace::deviceGray();
    const Image grey = maskAsLinearGray(mask, 9, 5);
    EXPECT_EQ(grey.bytesPerRow, 9);
    EXPECT_EQ(grey.colorSpace.kind, ColorSpace::Kind::linearGray);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 9; ++x)
            ASSERT_EQ(grey.row(y)[x], mask.row(y)[x]);

    Image deep = Image::make(4, 2, 16, AlphaInfo::none, ColorSpace::linearGray(), 1);
    deep.byteOrder16 = ByteOrder16::little;
    test::fill(deep, [](int, int y, int) { return y == 0 ? 0x00FF : 0xFFFF; });
    EXPECT_EQ(maskAsLinearGray(deep, 4, 2).pixels, (std::vector<std::uint8_t>{1, 1, 1, 1, 255, 255, 255, 255}));

    mask.pixels.pop_back();
    EXPECT_EQ(test::errorText<AlphaCompositionError>([&] { (void)maskAsLinearGray(mask, 9, 5); }),
              "Failed to scale the mask to the source image resolution.");
}

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
