#include <gtest/gtest.h>

#include "cutout/AlphaComposition.h"
#include "platform/ImageServices.h"
#include "support/TestImages.h"
#include "support/TestSupport.h"

namespace glintwork {
namespace {

using test::component;

TEST(WithMaskAsAlpha, KeepsEveryColourSampleInEveryLayout) {
    const struct {
        const char* name;
        int bits;
        AlphaInfo alphaInfo;
        ByteOrder16 order;
        int firstColor; // component index of red
    } layouts[] = {
        {"RGBA", 8, AlphaInfo::last, ByteOrder16::big, 0},
        {"ARGB", 8, AlphaInfo::first, ByteOrder16::big, 1},
        {"premultiplied RGBA", 8, AlphaInfo::premultipliedLast, ByteOrder16::big, 0},
        {"premultiplied ARGB", 8, AlphaInfo::premultipliedFirst, ByteOrder16::big, 1},
        {"RGB", 8, AlphaInfo::none, ByteOrder16::big, 0},
        {"RGBX", 8, AlphaInfo::noneSkipLast, ByteOrder16::big, 0},
        {"XRGB", 8, AlphaInfo::noneSkipFirst, ByteOrder16::big, 1},
        {"16-bit little-endian RGB", 16, AlphaInfo::none, ByteOrder16::little, 0},
        {"16-bit big-endian RGBA", 16, AlphaInfo::last, ByteOrder16::big, 0},
        {"16-bit little-endian XRGB", 16, AlphaInfo::noneSkipFirst, ByteOrder16::little, 1},
    };
    const Image mask = test::greyMask(13, 7, [](int x, int y) { return (x * 31 + y * 17) % 256; });
    for (const auto& layout : layouts) {
        SCOPED_TRACE(layout.name);
        Image source = test::noiseImage(13, 7, layout.bits, layout.alphaInfo, 3, /*padding=*/5);
        source.byteOrder16 = layout.order;
        source.colorSpace = ColorSpace::fromICC(QByteArray("profile bytes"), 3);
        const Image out = withMaskAsAlpha(source, mask);
        ASSERT_EQ(out.pixels.size(), std::size_t(13 * 7 * 4 * layout.bits / 8)) << "packed RGBA";
        EXPECT_EQ(out.alphaInfo, AlphaInfo::last);
        EXPECT_EQ(out.colorSpace, source.colorSpace);
        ASSERT_EQ(out.bitsPerComponent, layout.bits);
        if (layout.bits == 16) {
            ASSERT_EQ(out.byteOrder16, layout.order);
        }
        int mismatches = 0;
        for (int y = 0; y < 7; ++y)
            for (int x = 0; x < 13; ++x) {
                for (int k = 0; k < 3; ++k)
                    mismatches += component(out, x, y, k) != component(source, x, y, layout.firstColor + k);
                mismatches += component(out, x, y, 3) != mask.row(y)[x] * (layout.bits == 16 ? 257 : 1);
            }
        EXPECT_EQ(mismatches, 0);
    }
}

TEST(WithMaskAsAlpha, RefusesWithTheFirstFailingCheck) {
    const auto rgb = [] { return test::noiseImage(4, 4, 8, AlphaInfo::none, 3); };
    const struct {
        const char* name;
        std::function<void(Image&)> change;
        const char* text;
    } cases[] = {
        {"grey", [](Image& i) { i = test::greyMask(4, 4, [](int, int) { return 9; }); i.colorSpace = ColorSpace::deviceGray(); },
         "Unsupported pixel format (bitsPerComponent=8, bitsPerPixel=8, alphaInfo=0)."},
        {"float grey", [](Image& i) { i = Image::make(4, 4, 32, AlphaInfo::none, ColorSpace::sRGB(), 1); },
         "Floating-point pixel formats are not supported in Glintwork."},
        {"no colour space", [](Image& i) { i.colorSpace = {}; },
         "Source image has no color space; refusing to fabricate one."},
        {"truncated", [](Image& i) { i.pixels.pop_back(); },
         "Source pixel data is truncated (expected 48 bytes, got 47)."},
        {"no pixel data", [](Image& i) { i.pixels.clear(); }, "Source image pixel data could not be read."},
        {"rows shorter than pixels", [](Image& i) { i.bytesPerRow = 11; },
         "Unsupported pixel format (bitsPerComponent=8, bitsPerPixel=24, alphaInfo=0)."},
        {"alpha only", [](Image& i) { i = Image::make(4, 4, 8, AlphaInfo::only, ColorSpace::sRGB(), 0); },
         "Unsupported pixel format (bitsPerComponent=8, bitsPerPixel=8, alphaInfo=7)."},
        {"alpha without its component", [](Image& i) { i.alphaInfo = AlphaInfo::last; },
         "Unsupported pixel format (bitsPerComponent=8, bitsPerPixel=24, alphaInfo=3)."},
        {"32-bit integer", [](Image& i) { i.bitsPerComponent = 32; },
         "Unsupported pixel format (bitsPerComponent=32, bitsPerPixel=24, alphaInfo=0)."},
        {"zero width (dimensions first)", [](Image& i) { i = Image::make(0, 4, 32, AlphaInfo::none, ColorSpace::sRGB(), 3); },
         "Invalid image dimensions (width=0, height=4)."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Image source = rgb();
        c.change(source);
        EXPECT_EQ(test::errorText<AlphaCompositionError>([&] {
                      (void)withMaskAsAlpha(source, test::greyMask(4, 4, [](int, int) { return 255; }));
                  }),
                  c.text);
    }
}

TEST(WithMaskAsAlpha, RescalesASmallerMaskWithLanczos) {
    const Image mask = test::greyMask(16, 12, [](int x, int) { return x < 8 ? 0 : 255; });
    const Image out = withMaskAsAlpha(test::noiseImage(64, 48, 8, AlphaInfo::none, 3), mask);
    const auto expected = ImageServices::resampleMaskLanczos(mask.pixels.data(), 16, 12, 64, 48);
    for (int i = 0; i < 64 * 48; ++i)
        ASSERT_EQ(out.pixels[std::size_t(4 * i + 3)], expected[std::size_t(i)]) << i;
    EXPECT_EQ(out.row(10)[4 * 2 + 3], 0);
    EXPECT_EQ(out.row(10)[4 * 60 + 3], 255);
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

} // namespace
} // namespace glintwork
