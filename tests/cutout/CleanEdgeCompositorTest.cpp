#include <gtest/gtest.h>

#include "cutout/CleanEdgeCompositor.h"
#include "cutout/CutoutTestImages.h"
#include "platform/ImageServices.h"

namespace glintwork {
namespace {

using CleanEdgeCompositor::CompositingError;

Image solidRGB(int width, int height, std::uint8_t r, std::uint8_t g, std::uint8_t b) {
    Image image = Image::make(width, height, 8, AlphaInfo::none, ColorSpace::sRGB(), 3);
    for (std::size_t i = 0; i < image.pixels.size(); i += 3) {
        image.pixels[i] = r;
        image.pixels[i + 1] = g;
        image.pixels[i + 2] = b;
    }
    return image;
}

int countAlpha(const std::vector<std::uint8_t>& alpha, int x0, int y0, int w, int h, int stride) {
    int nonZero = 0;
    for (int y = y0; y < y0 + h; ++y)
        for (int x = x0; x < x0 + w; ++x)
            nonZero += alpha[std::size_t(y * stride + x)] != 0;
    return nonZero;
}

TEST(CleanEdgeCompositor, EmptyImageIsRefused) {
    const Image empty = Image::make(0, 5, 8, AlphaInfo::none, ColorSpace::sRGB(), 3);
    try {
        (void)CleanEdgeCompositor::composite(empty, test::greyMask(1, 1, [](int, int) { return 255; }));
        ADD_FAILURE() << "accepted";
    } catch (const CompositingError& error) {
        EXPECT_EQ(error.description(), QStringLiteral("Image has invalid dimensions."));
    }
}

// Islands on a 1000 × 1000 canvas: the minimum size is max(3000, 8 % of the largest).
TEST(RemoveSmallComponents, IslandsBelowTheThresholdAreDropped) {
    const struct {
        const char* name;
        int mainSide;   // square subject, side in pixels
        int islandW;    // second region
        int islandH;
        bool islandKept;
    } cases[] = {
        {"speck of 10 pixels", 300, 10, 1, false},
        {"5000 next to 50000 (minimum 4000)", 224, 100, 50, true}, // 224² = 50176
        {"3000 next to 50000 (minimum 4014)", 224, 100, 30, false},
        {"2990 next to a small subject (minimum 3000)", 60, 115, 26, false},
        {"3000 next to a small subject (minimum 3000)", 60, 300, 10, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const int side = 1000;
        std::vector<std::uint8_t> alpha(std::size_t(side) * side, 0);
        for (int y = 0; y < c.mainSide; ++y)
            for (int x = 0; x < c.mainSide; ++x)
                alpha[std::size_t(y * side + x)] = 255;
        // The island starts on row 500 so it touches nothing.
        for (int y = 500; y < 500 + c.islandH; ++y)
            for (int x = 0; x < c.islandW; ++x)
                alpha[std::size_t(y * side + x)] = 200;
        CleanEdgeCompositor::removeSmallComponents(alpha, side, side);
        EXPECT_EQ(countAlpha(alpha, 0, 0, c.mainSide, c.mainSide, side), c.mainSide * c.mainSide);
        EXPECT_EQ(countAlpha(alpha, 0, 500, c.islandW, c.islandH, side),
                  c.islandKept ? c.islandW * c.islandH : 0);
    }
}

TEST(RemoveSmallComponents, CornerContactJoinsRegionsAndFaintPixelsStay) {
    // 100 × 100: minimum = max(30, 8 % of the largest). A 5 × 5 square touching a 20 × 20
    // one only at a corner belongs to it; moved one pixel away it is an island.
    for (const int gap : {0, 1}) {
        SCOPED_TRACE(gap);
        std::vector<std::uint8_t> alpha(100 * 100, 0);
        for (int y = 10; y < 30; ++y)
            for (int x = 10; x < 30; ++x)
                alpha[std::size_t(y * 100 + x)] = 255;
        for (int y = 30 + gap; y < 35 + gap; ++y)
            for (int x = 30 + gap; x < 35 + gap; ++x)
                alpha[std::size_t(y * 100 + x)] = 255;
        alpha[std::size_t(90 * 100 + 90)] = 25; // alpha 0.098: not solid, left alone
        CleanEdgeCompositor::removeSmallComponents(alpha, 100, 100);
        EXPECT_EQ(countAlpha(alpha, 30 + gap, 30 + gap, 5, 5, 100), gap == 0 ? 25 : 0);
        EXPECT_EQ(alpha[std::size_t(90 * 100 + 90)], 25);
    }
    std::vector<std::uint8_t> faint(50 * 50, 25);
    const auto before = faint;
    CleanEdgeCompositor::removeSmallComponents(faint, 50, 50);
    EXPECT_EQ(faint, before);
}

TEST(CleanEdgeCompositor, EdgePixelTakesTheSubjectsColour) {
    // Red subject, a half-transparent edge pixel still carrying the green backdrop, and
    // the backdrop itself.
    Image image = solidRGB(3, 1, 0, 255, 0);
    image.pixels[0] = 255;
    image.pixels[1] = 0;
    const Image matte = test::greyMask(3, 1, [](int x, int) { return x == 0 ? 255 : x == 1 ? 128 : 0; });
    const Image out = CleanEdgeCompositor::composite(image, matte);
    ASSERT_EQ(out.alphaInfo, AlphaInfo::last);
    const std::uint8_t* p = out.pixels.data();
    EXPECT_EQ((std::vector<int>{p[4], p[5], p[6], p[7]}), (std::vector<int>{255, 0, 0, 128}));
    EXPECT_EQ((std::vector<int>{p[8], p[9], p[10], p[11]}), (std::vector<int>{0, 255, 0, 0}))
        << "a transparent pixel is never recoloured";
}

TEST(CleanEdgeCompositor, RecolouringReachesTwelvePixelsIntoTheEdge) {
    Image image = solidRGB(20, 1, 0, 255, 0);
    image.pixels[0] = 255;
    image.pixels[1] = 0;
    const Image matte = test::greyMask(20, 1, [](int x, int) { return x == 0 ? 255 : 128; });
    const Image out = CleanEdgeCompositor::composite(image, matte);
    for (int x = 1; x < 20; ++x) {
        SCOPED_TRACE(x);
        const std::uint8_t* p = out.pixels.data() + 4 * x;
        if (x <= 12) {
            EXPECT_EQ(p[0], 255);
            EXPECT_EQ(p[1], 0);
        } else {
            EXPECT_EQ(p[0], 0);
            EXPECT_EQ(p[1], 255);
        }
    }
}

TEST(CleanEdgeCompositor, HalfSizeMatteIsRescaledBeforeThresholds) {
    const Image image = solidRGB(100, 80, 10, 20, 30);
    const Image matte = test::greyMask(50, 40, [](int, int) { return 255; });
    const Image out = CleanEdgeCompositor::composite(image, matte);
    ASSERT_EQ(out.width, 100);
    ASSERT_EQ(out.height, 80);
    for (std::size_t i = 0; i < out.pixels.size(); i += 4) {
        ASSERT_EQ(out.pixels[i + 3], 255);
        ASSERT_EQ(out.pixels[i], 10);
    }
}

TEST(CleanEdgeCompositor, ColourSpaceAndDepthOfTheOutput) {
    const Image matte = test::greyMask(4, 4, [](int, int) { return 255; });

    Image tagged = test::noiseImage(4, 4, 16, AlphaInfo::none, 3);
    tagged.byteOrder16 = ByteOrder16::little;
    tagged.colorSpace = ColorSpace::fromICC(ImageServices::sRGBProfile(), 3);
    const Image fromDeep = CleanEdgeCompositor::composite(tagged, matte);
    EXPECT_EQ(fromDeep.bitsPerComponent, 8);
    EXPECT_EQ(fromDeep.colorSpace, tagged.colorSpace);
    const unsigned sample = unsigned(tagged.pixels[0]) | (unsigned(tagged.pixels[1]) << 8);
    EXPECT_EQ(fromDeep.pixels[0], (sample * 255 + 32767) / 65535);

    Image grey = Image::make(4, 4, 8, AlphaInfo::none, ColorSpace::deviceGray(), 1);
    std::fill(grey.pixels.begin(), grey.pixels.end(), 77);
    const Image fromGrey = CleanEdgeCompositor::composite(grey, matte);
    EXPECT_EQ(fromGrey.colorSpace.kind, ColorSpace::Kind::deviceRGB);
    EXPECT_EQ(fromGrey.bitsPerPixel, 32);
    EXPECT_EQ(fromGrey.pixels[0], 77);
    EXPECT_EQ(fromGrey.pixels[2], 77);

    // A source with its own transparency is drawn premultiplied.
    Image translucent = Image::make(1, 1, 8, AlphaInfo::last, ColorSpace::sRGB(), 3);
    translucent.pixels = {200, 100, 50, 128};
    const Image fromTranslucent =
        CleanEdgeCompositor::composite(translucent, test::greyMask(1, 1, [](int, int) { return 255; }));
    EXPECT_EQ(fromTranslucent.pixels[0], (200 * 128 + 127) / 255);
    EXPECT_EQ(fromTranslucent.pixels[3], 255);
}

} // namespace
} // namespace glintwork
