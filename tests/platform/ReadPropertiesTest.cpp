#include <gtest/gtest.h>

#include <QFile>

#include "platform/ImageServices.h"
#include "support/PngBuilder.h"
#include "support/TestSupport.h"

namespace glintwork {
namespace {

using test::PngBuilder;
using test::ScratchDir;

PngBuilder rgbPng(int width, int height, int bitDepth = 8, int colorType = 2) {
    PngBuilder png;
    png.width = width;
    png.height = height;
    png.bitDepth = bitDepth;
    png.colorType = colorType;
    const int channels = colorType == 6 ? 4 : colorType == 4 ? 2 : colorType == 0 ? 1 : 3;
    png.pixels = QByteArray(width * height * channels * bitDepth / 8, '\x40');
    return png;
}

TEST(ReadPropertiesTest, ReportsGeometryDepthAndAlphaFromTheHeader) {
    struct Case {
        const char* name;
        int bitDepth;
        int colorType;
        bool hasAlpha;
        int bitsPerComponent;
    };
    const Case cases[] = {
        {"rgb8", 8, 2, false, 8},  {"rgba8", 8, 6, true, 8},     {"rgb16", 16, 2, false, 16},
        {"rgba16", 16, 6, true, 16}, {"grey8", 8, 0, false, 8},   {"greyalpha16", 16, 4, true, 16},
    };
    ScratchDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = dir.writeFile(QString::fromLatin1(c.name) + QStringLiteral(".png"),
                                           rgbPng(7, 5, c.bitDepth, c.colorType).build());
        const auto properties = ImageServices::readProperties(path);
        ASSERT_TRUE(properties.has_value());
        EXPECT_EQ(properties->pixelWidth, 7);
        EXPECT_EQ(properties->pixelHeight, 5);
        EXPECT_EQ(properties->hasAlpha, c.hasAlpha);
        EXPECT_EQ(properties->bitsPerComponent, c.bitsPerComponent);
        EXPECT_FALSE(properties->orientation.has_value());
        EXPECT_FALSE(properties->exif.has_value());
        EXPECT_FALSE(properties->hasICCProfile);
    }
}

TEST(ReadPropertiesTest, ResolutionIsReportedOnlyWhenTheFileRecordsOne) {
    struct Case {
        const char* name;
        std::optional<PngBuilder::Physical> physical;
        std::optional<double> dpi;
    };
    const Case cases[] = {
        {"none", std::nullopt, std::nullopt},
        {"300dpi", PngBuilder::Physical{11811, 11811, 1}, 299.9994},
        {"72x144dpi", PngBuilder::Physical{2835, 5669, 1}, 72.009},
        {"aspectOnly", PngBuilder::Physical{1, 1, 0}, std::nullopt},
    };
    ScratchDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PngBuilder png = rgbPng(4, 4);
        png.physical = c.physical;
        const auto properties =
            ImageServices::readProperties(dir.writeFile(QStringLiteral("r.png"), png.build()));
        ASSERT_TRUE(properties.has_value());
        ASSERT_EQ(properties->dpiWidth.has_value(), c.dpi.has_value());
        ASSERT_EQ(properties->dpiHeight.has_value(), c.dpi.has_value());
        if (c.dpi) {
            EXPECT_NEAR(*properties->dpiWidth, *c.dpi, 0.01);
            EXPECT_NEAR(*properties->dpiHeight, c.physical->y * 0.0254, 0.01);
        }
    }
}

TEST(ReadPropertiesTest, ReadsOrientationAndExifFromAnExifChunk) {
    ScratchDir dir;
    for (int orientation : {1, 3, 6, 8}) {
        SCOPED_TRACE(orientation);
        PngBuilder png = rgbPng(6, 3);
        png.exif = test::exifWithOrientation(orientation);
        const auto properties =
            ImageServices::readProperties(dir.writeFile(QStringLiteral("o.png"), png.build()));
        ASSERT_TRUE(properties.has_value());
        EXPECT_EQ(properties->orientation, orientation);
        ASSERT_TRUE(properties->exif.has_value());
        EXPECT_FALSE(properties->exif->isEmpty());
        // The stored size is reported, not the size after applying the orientation.
        EXPECT_EQ(properties->pixelWidth, 6);
        EXPECT_EQ(properties->pixelHeight, 3);
    }
}

TEST(ReadPropertiesTest, BadInputGivesNothing) {
    ScratchDir dir;
    struct Case {
        const char* name;
        QString path;
    };
    const Case cases[] = {
        {"missing file", dir.filePath(QStringLiteral("absent.png"))},
        {"empty file", dir.writeFile(QStringLiteral("empty.png"), QByteArray())},
        {"text named .png",
         dir.writeFile(QStringLiteral("notes.png"), QByteArray("just some words\nand more\n"))},
        {"signature only", dir.writeFile(QStringLiteral("sig.png"), PngBuilder::signature())},
        {"folder", dir.path()},
        {"empty path", QString()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_FALSE(ImageServices::readProperties(c.path).has_value());
    }
}

TEST(ReadPropertiesTest, AHugeHeaderIsReadWithoutDecoding) {
    ScratchDir dir;
    // Only a header and an empty image stream: reading properties must not try to
    // allocate or decode 10^10 pixels.
    const QByteArray bomb = PngBuilder::signature() +
                            PngBuilder::ihdr(100000, 100000, 8, 2) +
                            PngBuilder::chunk("IDAT", qCompress(QByteArray(16, '\0')).mid(4)) +
                            PngBuilder::chunk("IEND", QByteArray());
    const auto properties =
        ImageServices::readProperties(dir.writeFile(QStringLiteral("bomb.png"), bomb));
    if (properties) {
        EXPECT_EQ(properties->pixelWidth, 100000);
        EXPECT_EQ(properties->pixelHeight, 100000);
    }
}

} // namespace
} // namespace glintwork
