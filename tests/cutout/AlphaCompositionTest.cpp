#include <gtest/gtest.h>

#include "cutout/AlphaComposition.h"
#include "cutout/CutoutTestImages.h"
#include "platform/ImageServices.h"

namespace glintwork {
namespace {

struct Layout {
    const char* name;
    int bits;
    AlphaInfo alphaInfo;
    int colorComponents;
    ByteOrder16 order;
    int firstColor; // component index of red
};

const Layout kLayouts[] = {
    {"RGBA", 8, AlphaInfo::last, 3, ByteOrder16::big, 0},
    {"ARGB", 8, AlphaInfo::first, 3, ByteOrder16::big, 1},
    {"premultiplied RGBA", 8, AlphaInfo::premultipliedLast, 3, ByteOrder16::big, 0},
    {"premultiplied ARGB", 8, AlphaInfo::premultipliedFirst, 3, ByteOrder16::big, 1},
    {"RGB", 8, AlphaInfo::none, 3, ByteOrder16::big, 0},
    {"RGBX", 8, AlphaInfo::noneSkipLast, 3, ByteOrder16::big, 0},
    {"XRGB", 8, AlphaInfo::noneSkipFirst, 3, ByteOrder16::big, 1},
    {"16-bit little-endian RGB", 16, AlphaInfo::none, 3, ByteOrder16::little, 0},
    {"16-bit big-endian RGBA", 16, AlphaInfo::last, 3, ByteOrder16::big, 0},
    {"16-bit little-endian XRGB", 16, AlphaInfo::noneSkipFirst, 3, ByteOrder16::little, 1},
};

TEST(WithMaskAsAlpha, KeepsEveryColourByteInEveryLayout) {
    for (const Layout& layout : kLayouts) {
        SCOPED_TRACE(layout.name);
        Image source = test::noiseImage(13, 7, layout.bits, layout.alphaInfo,
                                        layout.colorComponents, /*padding=*/5);
        source.byteOrder16 = layout.order;
        source.colorSpace = ColorSpace::fromICC(QByteArray("profile bytes"), 3);
        const Image mask = test::greyMask(13, 7, [](int x, int y) { return (x * 31 + y * 17) % 256; });

        const Image out = withMaskAsAlpha(source, mask);
        const int c = layout.bits / 8;
        ASSERT_EQ(out.width, 13);
        ASSERT_EQ(out.height, 7);
        EXPECT_EQ(out.bitsPerComponent, layout.bits);
        EXPECT_EQ(out.bitsPerPixel, 4 * layout.bits);
        EXPECT_EQ(out.bytesPerRow, 13 * 4 * c);
        EXPECT_EQ(out.alphaInfo, AlphaInfo::last);
        EXPECT_EQ(out.colorSpace, source.colorSpace);
        if (c == 2) {
            EXPECT_EQ(out.byteOrder16, layout.order);
        }
        ASSERT_EQ(out.pixels.size(), std::size_t(13 * 7 * 4 * c));

        int mismatches = 0;
        for (int y = 0; y < 7; ++y) {
            for (int x = 0; x < 13; ++x) {
                const std::uint8_t* s = source.row(y) + x * source.bytesPerPixel();
                const std::uint8_t* d = out.row(y) + x * 4 * c;
                for (int k = 0; k < 3 * c; ++k)
                    mismatches += d[k] != s[layout.firstColor * c + k];
                for (int k = 0; k < c; ++k)
                    mismatches += d[3 * c + k] != mask.row(y)[x];
            }
        }
        EXPECT_EQ(mismatches, 0);
    }
}

TEST(WithMaskAsAlpha, RefusesWithTheFirstFailingCheck) {
    auto grey = test::noiseImage(4, 4, 8, AlphaInfo::none, 1);
    grey.colorSpace = ColorSpace::deviceGray();
    auto floating = Image::make(4, 4, 32, AlphaInfo::none, ColorSpace::sRGB(), 1);
    auto noSpace = test::noiseImage(4, 4, 8, AlphaInfo::last, 3);
    noSpace.colorSpace = {};
    auto truncated = test::noiseImage(4, 4, 8, AlphaInfo::none, 3);
    truncated.pixels.resize(truncated.pixels.size() - 1);
    auto empty = test::noiseImage(4, 4, 8, AlphaInfo::none, 3);
    empty.pixels.clear();
    auto shortRows = test::noiseImage(4, 4, 8, AlphaInfo::none, 3);
    shortRows.bytesPerRow = 11;
    auto alphaOnly = Image::make(4, 4, 8, AlphaInfo::only, ColorSpace::sRGB(), 0);
    auto twoColours = Image::make(4, 4, 8, AlphaInfo::last, ColorSpace::sRGB(), 3);
    twoColours.bitsPerPixel = 24; // alpha declared but only three components
    auto thirtyTwoBit = Image::make(4, 4, 8, AlphaInfo::none, ColorSpace::sRGB(), 3);
    thirtyTwoBit.bitsPerComponent = 32;
    auto zeroWide = Image::make(0, 4, 32, AlphaInfo::none, ColorSpace::sRGB(), 3);

    const struct {
        const char* name;
        Image source;
        const char* text;
    } cases[] = {
        {"grey", grey, "Unsupported pixel format (bitsPerComponent=8, bitsPerPixel=8, alphaInfo=0)."},
        {"float grey", floating, "Floating-point pixel formats are not supported in Glintwork."},
        {"no colour space", noSpace, "Source image has no color space; refusing to fabricate one."},
        {"truncated", truncated, "Source pixel data is truncated (expected 48 bytes, got 47)."},
        {"no pixel data", empty, "Source image pixel data could not be read."},
        {"rows shorter than pixels", shortRows,
         "Unsupported pixel format (bitsPerComponent=8, bitsPerPixel=24, alphaInfo=0)."},
        {"alpha only", alphaOnly,
         "Unsupported pixel format (bitsPerComponent=8, bitsPerPixel=8, alphaInfo=7)."},
        {"alpha without its component", twoColours,
         "Unsupported pixel format (bitsPerComponent=8, bitsPerPixel=24, alphaInfo=3)."},
        {"32-bit integer", thirtyTwoBit,
         "Unsupported pixel format (bitsPerComponent=32, bitsPerPixel=24, alphaInfo=0)."},
        {"zero width (dimensions first)", zeroWide, "Invalid image dimensions (width=0, height=4)."},
    };
    const Image mask = test::greyMask(4, 4, [](int, int) { return 255; });
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        try {
            (void)withMaskAsAlpha(c.source, mask);
            ADD_FAILURE() << "accepted";
        } catch (const AlphaCompositionError& error) {
            EXPECT_EQ(error.description().toStdString(), c.text);
        }
    }
}

TEST(WithMaskAsAlpha, RescalesASmallerMaskWithLanczos) {
    const Image source = test::noiseImage(64, 48, 8, AlphaInfo::none, 3);
    const Image mask = test::greyMask(16, 12, [](int x, int) { return x < 8 ? 0 : 255; });
    const Image out = withMaskAsAlpha(source, mask);
    const std::vector<std::uint8_t> expected =
        resampleMaskLanczos(mask.pixels.data(), 16, 12, 64, 48);
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x)
            ASSERT_EQ(out.row(y)[4 * x + 3], expected[std::size_t(y * 64 + x)]) << x << "," << y;
    EXPECT_EQ(out.row(10)[4 * 2 + 3], 0);
    EXPECT_EQ(out.row(10)[4 * 60 + 3], 255);
}

TEST(MaskBytes, SameSizeMaskIsCopiedWithoutItsRowPadding) {
    Image mask = test::noiseImage(9, 5, 8, AlphaInfo::none, 1, /*padding=*/7);
    mask.colorSpace = ColorSpace::deviceGray();
    const Image grey = maskAsLinearGray(mask, 9, 5);
    EXPECT_EQ(grey.bytesPerRow, 9);
    EXPECT_EQ(grey.colorSpace.kind, ColorSpace::Kind::linearGray);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 9; ++x)
            ASSERT_EQ(grey.row(y)[x], mask.row(y)[x]);

    Image shortMask = mask;
    shortMask.pixels.resize(shortMask.pixels.size() - 1);
    try {
        (void)maskAsLinearGray(shortMask, 9, 5);
        ADD_FAILURE() << "a short mask buffer was read";
    } catch (const AlphaCompositionError& error) {
        EXPECT_EQ(error.description(), QStringLiteral("Failed to scale the mask to the source image resolution."));
    }
}

TEST(MaskBytes, SixteenBitAndColourMasksAreReadAsGrey) {
    Image deep = Image::make(4, 2, 16, AlphaInfo::none, ColorSpace::linearGray(), 1);
    deep.byteOrder16 = ByteOrder16::little;
    for (int i = 0; i < 8; ++i) {
        deep.pixels[std::size_t(2 * i)] = 0xFF;
        deep.pixels[std::size_t(2 * i + 1)] = i < 4 ? 0x00 : 0xFF;
    }
    const Image grey = maskAsLinearGray(deep, 4, 2);
    EXPECT_EQ(grey.row(0)[0], 1);
    EXPECT_EQ(grey.row(1)[0], 255);
}

} // namespace
} // namespace glintwork
