#include <gtest/gtest.h>

#include <cstring>
#include <set>

#include <QFile>

#include "platform/ImageServices.h"
#include "platform/Orientation.h"
#include "compress/PNGQuantizer.h"
#include "quantizer/quantette.h"
#include "support/TestImages.h"
#include "support/TestSupport.h"

namespace glintwork {
namespace {

std::set<std::uint32_t> distinctColors(const Image& rgba) {
    std::set<std::uint32_t> colors;
    for (int y = 0; y < rgba.height; ++y)
        for (int x = 0; x < rgba.width; ++x) {
            const std::uint8_t* p = rgba.row(y) + 4 * x;
            colors.insert((p[0] << 16) | (p[1] << 8) | p[2]);
        }
    return colors;
}

int pngColorType(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray head = file.read(26);
    return head.size() == 26 ? static_cast<unsigned char>(head[25]) : -1;
}

TEST(PNGQuantizer, TargetSizeRule) {
    using PNGQuantizer::targetSize;
    using T = PNGQuantizer::TargetSize;
    const struct {
        int w, h;
        std::optional<int> mw, mh;
        T expected;
    } cases[] = {
        {4000, 3000, 1000, std::nullopt, {1000, 750}},
        {4000, 3000, 2000, 500, {667, 500}},
        {3, 3, 1, std::nullopt, {1, 1}},
        {3, 1000, 1, std::nullopt, {1, 333}},
        {4000, 3000, 0, 0, {4000, 3000}},
        {4000, 3000, 8000, 8000, {4000, 3000}},
        {4000, 3000, -5, 3000, {4000, 3000}},
        {5, 2, 3, std::nullopt, {3, 1}},   // 1.2 rounds down
        {4, 3, 2, std::nullopt, {2, 2}},   // 1.5 rounds away from zero
        {1000, 1, 10, std::nullopt, {10, 1}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(targetSize(c.w, c.h, c.mw, c.mh), c.expected) << c.w << "x" << c.h;
}

// Flat fills in blocks with one-pixel lines: most rows repeat the one above, so the writer
// compresses them as long runs; `colors` of them (2 to 6) set the palette's bit depth.
Image chart(int width, int height, int colors) {
    const std::uint8_t fills[6][3] = {{255, 255, 255}, {33, 99, 196}, {240, 160, 30},
                                      {60, 170, 90},   {200, 50, 60}, {40, 40, 48}};
    Image image = Image::make(width, height, 8, AlphaInfo::none, ColorSpace::sRGB(), 3);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const int fill =
                (x % 13 == 0 || y % 11 == 0) ? colors - 1 : (x / 20 + y / 15) % (colors - 1);
            std::memcpy(image.row(y) + 3 * x, fills[fill], 3);
        }
    return image;
}

TEST(PNGQuantizer, WritesPalettePNGEqualToTheQuantizerOutput) {
    const struct {
        const char* name;
        Image source;
        int quality;
        std::size_t colors;
    } cases[] = {
        {"dithered gradient", test::gradient(96, 64), 50, 64},
        {"two-colour chart", chart(97, 61, 2), 90, 2},
        {"four-colour chart", chart(97, 61, 4), 90, 4},
        {"six-colour chart", chart(150, 90, 6), 60, 6},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::ScratchDir dir;
        const QString input = dir.filePath(QStringLiteral("in.png"));
        const QString output = dir.filePath(QStringLiteral("out.png"));
        ImageServices::writePNG(c.source, input);
        PNGQuantizer::quantize(input, output, c.quality, std::nullopt, std::nullopt);

        EXPECT_EQ(pngColorType(output), 3) << "palette colour type";
        const Image written = ImageServices::toRGBA8(ImageServices::decode(output));
        const int w = c.source.width;
        const int h = c.source.height;
        ASSERT_EQ(written.width, w);
        ASSERT_EQ(written.height, h);
        EXPECT_LE(distinctColors(written).size(), c.colors);

        Image expected = ImageServices::toRGBA8(c.source);
        const auto maxColors =
            static_cast<std::uint32_t>(PNGQuantizer::maximumColorCount(c.quality));
        ASSERT_EQ(quantette_quantize_rgba(expected.pixels.data(), std::uint32_t(w),
                                          std::uint32_t(h), maxColors),
                  0);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                for (int ch = 0; ch < 4; ++ch)
                    ASSERT_EQ(written.row(y)[4 * x + ch],
                              ch == 3 ? 255 : expected.row(y)[4 * x + ch])
                        << x << "," << y << " channel " << ch;
    }
}

// Every source layout ends up composited over white before quantizing: straight alpha is
// blended (a clear pixel's colour must not leak through), and grey or grey-with-alpha
// sources take the general conversion first.
TEST(PNGQuantizer, CompositesEveryLayoutOverWhite) {
    struct Pixel {
        std::uint8_t value[4];
        std::uint8_t expected[3];
    };
    const struct {
        const char* name;
        int components;
        AlphaInfo alpha;
        ColorSpace space;
        Pixel pixels[2];
    } cases[] = {
        {"rgb",
         3,
         AlphaInfo::none,
         ColorSpace::sRGB(),
         {{{200, 30, 90, 0}, {200, 30, 90}}, {{10, 250, 120, 0}, {10, 250, 120}}}},
        {"rgba",
         3,
         AlphaInfo::last,
         ColorSpace::sRGB(),
         {{{200, 0, 100, 128}, {228, 127, 177}}, {{200, 0, 0, 0}, {255, 255, 255}}}},
        {"grey",
         1,
         AlphaInfo::none,
         ColorSpace::deviceGray(),
         {{{90, 0, 0, 0}, {90, 90, 90}}, {{200, 0, 0, 0}, {200, 200, 200}}}},
        {"grey with alpha",
         1,
         AlphaInfo::last,
         ColorSpace::deviceGray(),
         {{{0, 64, 0, 0}, {191, 191, 191}}, {{40, 255, 0, 0}, {40, 40, 40}}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::ScratchDir dir;
        Image source = Image::make(40, 20, 8, c.alpha, c.space, c.components);
        const int n = source.componentsPerPixel();
        for (int y = 0; y < 20; ++y)
            for (int x = 0; x < 40; ++x)
                std::memcpy(source.row(y) + n * x, c.pixels[x < 20 ? 0 : 1].value, std::size_t(n));
        const QString input = dir.filePath(QStringLiteral("in.png"));
        const QString output = dir.filePath(QStringLiteral("out.png"));
        ImageServices::writePNG(source, input);
        PNGQuantizer::quantize(input, output, 100, std::nullopt, std::nullopt);
        const Image written = ImageServices::toRGBA8(ImageServices::decode(output));
        for (int half = 0; half < 2; ++half) {
            const std::uint8_t* p = written.row(10) + 4 * (5 + 30 * half);
            for (int ch = 0; ch < 3; ++ch) // one unit of slack for the Oklab round trip
                EXPECT_NEAR(p[ch], c.pixels[half].expected[ch], 1) << "half " << half;
            EXPECT_EQ(p[3], 255);
        }
    }
}

TEST(Orientation, MatchesTheDecoderForEveryTag) {
    // Six flat blocks of distinct colours, 3 x 2 blocks of 16 pixels: wide enough that
    // resampling in the reference thumbnail cannot blur a block's centre.
    test::ScratchDir dir;
    const std::uint8_t colors[6][3] = {{255, 0, 0},   {0, 255, 0},   {0, 0, 255},
                                       {255, 255, 0}, {0, 255, 255}, {255, 0, 255}};
    Image stored = Image::make(48, 32, 8, AlphaInfo::none, ColorSpace::sRGB(), 3);
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 48; ++x)
            std::memcpy(stored.row(y) + 3 * x, colors[(y / 16) * 3 + x / 16], 3);
    for (int orientation = 1; orientation <= 8; ++orientation) {
        const QString path = dir.filePath(QStringLiteral("o%1.png").arg(orientation));
        WriteMetadata metadata;
        metadata.orientation = orientation;
        ImageServices::writePNG(stored, path, metadata);
        const Image ours =
            ImageServices::toRGBA8(applyOrientation(ImageServices::decode(path), orientation));
        const Image reference = ImageServices::toRGBA8(ImageServices::thumbnail(path, 48));
        ASSERT_EQ(ours.width, reference.width) << orientation;
        ASSERT_EQ(ours.height, reference.height) << orientation;
        const auto nearest = [&](const std::uint8_t* p) {
            int best = 0;
            int bestDistance = 1 << 30;
            for (int i = 0; i < 6; ++i) {
                int d = 0;
                for (int c = 0; c < 3; ++c)
                    d += (p[c] - colors[i][c]) * (p[c] - colors[i][c]);
                if (d < bestDistance) {
                    bestDistance = d;
                    best = i;
                }
            }
            return best;
        };
        for (int by = 8; by < ours.height; by += 16)
            for (int bx = 8; bx < ours.width; bx += 16)
                EXPECT_EQ(nearest(ours.row(by) + 4 * bx), nearest(reference.row(by) + 4 * bx))
                    << "orientation " << orientation << " block at " << bx << "," << by;
    }
}

} // namespace
} // namespace glintwork
