#include <gtest/gtest.h>

#include <cstdlib>
#include <set>
#include <utility>

#include <QFile>

#include "compress/PNGQuantizer.h"
#include "platform/CancellationToken.h"
#include "platform/ImageServices.h"
#include "platform/Orientation.h"
#include "quantizer/quantette.h"
#include "support/TestImages.h"
#include "support/TestSupport.h"

namespace glintwork {
namespace {

// Never enlarged, limits of zero or less ignored; 1.2 rounds down, 1.5 away from zero.
TEST(PNGQuantizer, TargetSizeRule) {
    const struct {
        int w, h;
        std::optional<int> mw, mh;
        int ew, eh;
    } cases[] = {{4000, 3000, 1000, {}, 1000, 750},
                 {4000, 3000, 2000, 500, 667, 500},
                 {4000, 3000, 0, 0, 4000, 3000},
                 {4000, 3000, 8000, 8000, 4000, 3000},
                 {1000, 1, 10, {}, 10, 1},
                 {5, 2, 3, {}, 3, 1},
                 {4, 3, 2, {}, 2, 2}};
    for (const auto& c : cases)
        EXPECT_EQ(PNGQuantizer::targetSize(c.w, c.h, c.mw, c.mh),
                  (PNGQuantizer::TargetSize{c.ew, c.eh}))
            << c.w << "x" << c.h;
}

// The PNG holds a palette, and its pixels are exactly what the quantizer makes of the source
// composited over white: straight alpha blended (a clear pixel's colour must not leak
// through), grey and grey-with-alpha taking the general conversion first. Flat charts of
// 2, 4 and 6 colours give palettes of every bit depth, and rows that repeat the one above.
TEST(PNGQuantizer, WritesThePaletteOfTheSourceOverWhite) {
    const std::uint8_t fills[6][4] = {{255, 255, 255, 0}, {33, 99, 196, 128}, {240, 160, 30, 255},
                                      {60, 170, 90, 255}, {200, 50, 60, 0},   {40, 40, 48, 64}};
    const struct {
        const char* name;
        int colors, components, quality;
        AlphaInfo alpha;
    } cases[] = {{"dithered gradient", 0, 3, 50, AlphaInfo::none},
                 {"two-colour chart", 2, 3, 90, AlphaInfo::none},
                 {"four-colour chart", 4, 3, 90, AlphaInfo::none},
                 {"six-colour chart", 6, 3, 60, AlphaInfo::none},
                 {"chart with alpha", 6, 3, 100, AlphaInfo::last},
                 {"grey chart", 4, 1, 100, AlphaInfo::none},
                 {"grey chart with alpha", 4, 1, 100, AlphaInfo::last}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Image source = c.colors == 0 ? test::gradient(96, 64)
                                     : Image::make(97, 61, 8, c.alpha,
                                                   c.components == 1 ? ColorSpace::deviceGray()
                                                                     : ColorSpace::sRGB(),
                                                   c.components);
        // Flat fills in blocks with one-pixel lines.
        if (c.colors > 0)
            test::fill(source, [&](int x, int y, int i) {
                const int fill = (x % 13 == 0 || y % 11 == 0) ? c.colors - 1
                                                              : (x / 20 + y / 15) % (c.colors - 1);
                return fills[fill][i == c.components ? 3 : i];
            });
        test::ScratchDir dir;
        const QString input = dir.filePath(QStringLiteral("in.png"));
        const QString output = dir.filePath(QStringLiteral("out.png"));
        ImageServices::writePNG(source, input);
        PNGQuantizer::quantize(input, output, c.quality, std::nullopt, std::nullopt);

        EXPECT_EQ(test::contents(output).mid(25, 1), "\x03") << "palette colour type";
        const Image written = ImageServices::toRGBA8(ImageServices::decode(output));
        // Over white, by hand: the reference for compositing.
        Image expected = ImageServices::toRGBA8(source);
        for (std::size_t i = 0; i < expected.pixels.size(); i += 4) {
            const unsigned a = expected.pixels[i + 3];
            for (std::size_t k = 0; k < 3; ++k)
                expected.pixels[i + k] =
                    std::uint8_t((expected.pixels[i + k] * a + 255u * (255u - a) + 127u) / 255u);
            expected.pixels[i + 3] = 255;
        }
        const Image overWhite = expected;
        ASSERT_EQ(
            quantette_quantize_rgba(expected.pixels.data(), std::uint32_t(expected.width),
                                    std::uint32_t(expected.height),
                                    std::uint32_t(PNGQuantizer::maximumColorCount(c.quality))),
            0);
        std::set<std::uint32_t> colors;
        for (std::size_t i = 0; i < written.pixels.size(); i += 4)
            colors.insert(written.pixels[i] << 16 | written.pixels[i + 1] << 8 |
                          written.pixels[i + 2]);
        EXPECT_LE(colors.size(), c.colors == 0 ? 64u : std::size_t(c.colors));
        test::expectSamePixels(expected, written);
        // A chart's few colours each keep an entry of their own, off by a rounding at most.
        for (std::size_t i = 0; c.colors > 0 && i < written.pixels.size(); ++i)
            ASSERT_LE(std::abs(written.pixels[i] - overWhite.pixels[i]), 1) << "byte " << i;
    }
}

// A cancelled run stops the quantizer and writes nothing.
TEST(PNGQuantizer, CancellationStopsWithoutOutput) {
    test::ScratchDir dir;
    const QString input = dir.filePath(QStringLiteral("in.png"));
    const QString output = dir.filePath(QStringLiteral("out.png"));
    ImageServices::writePNG(test::gradient(300, 200), input);
    CancellationToken token;
    PNGQuantizer::quantize(input, output, 80, std::nullopt, std::nullopt, &token);
    EXPECT_TRUE(QFile::exists(output));
    QFile::remove(output);
    token.cancel();
    EXPECT_THROW(PNGQuantizer::quantize(input, output, 80, std::nullopt, std::nullopt, &token),
                 CancelledError);
    EXPECT_FALSE(QFile::exists(output));
}

// Six flat blocks of distinct colours, 3 × 2 blocks of 16 pixels, so any turn or mirror moves
// them; libvips's own autorotating thumbnail is the reference. Thumbnails are upright, bounded
// by the size asked for and never enlarged.
TEST(Orientation, MatchesTheDecoderForEveryTag) {
    test::ScratchDir dir;
    const std::uint8_t colors[6][3] = {{255, 0, 0},   {0, 255, 0},   {0, 0, 255},
                                       {255, 255, 0}, {0, 255, 255}, {255, 0, 255}};
    Image stored = Image::make(48, 32, 8, AlphaInfo::none, ColorSpace::sRGB(), 3);
    test::fill(stored, [&](int x, int y, int c) { return colors[(y / 16) * 3 + x / 16][c]; });
    for (int orientation = 1; orientation <= 8; ++orientation) {
        const QString path = dir.filePath(QStringLiteral("o%1.png").arg(orientation));
        WriteMetadata metadata;
        metadata.orientation = orientation;
        ImageServices::writePNG(stored, path, metadata);
        const Image ours = applyOrientation(ImageServices::decode(path), orientation);
        EXPECT_GT(test::psnr(ours, ImageServices::thumbnail(path, 500)), 40.0) << orientation;
        const Image small = ImageServices::thumbnail(path, 24);
        EXPECT_EQ(std::pair(small.width, small.height),
                  orientation >= 5 ? std::pair(16, 24) : std::pair(24, 16));
    }
}

} // namespace
} // namespace glintwork
