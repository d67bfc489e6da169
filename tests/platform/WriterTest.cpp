#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#include "platform/ImageServices.h"
#include "support/TestImages.h"
#include "support/TestSupport.h"

namespace glintwork {
namespace {

using test::component;
using test::expectSamePixels;
using test::gradient;
using test::ScratchDir;

Image pattern(int width, int height, int bits, int colors, bool alpha,
              ByteOrder16 order = ByteOrder16::big) {
    Image image = Image::make(width, height, bits, alpha ? AlphaInfo::last : AlphaInfo::none,
                              colors == 1 ? ColorSpace::deviceGray() : ColorSpace::sRGB(), colors);
    image.byteOrder16 = order;
    const int max = bits == 16 ? 65535 : 255;
    test::fill(image, [&](int x, int y, int i) {
        if (alpha && i == colors)
            return (x + y) % 4 == 0 ? 0 : (x * 29 + y * 7) % (max + 1);
        return (x * 1237 + y * 911 + i * 5003) % (max + 1);
    });
    return image;
}

using Writer = void (*)(const Image&, const QString&, const WriteMetadata&);

struct LosslessFormat {
    const char* name;
    const char* extension;
    Writer write;
};
const LosslessFormat losslessFormats[] = {
    {"PNG", "png", &ImageServices::writePNG},
    {"TIFF", "tif", &ImageServices::writeTIFF},
};

TEST(LosslessWriterTest, EveryLayoutSurvivesAWriteAndADecode) {
    struct Layout {
        const char* name;
        int bits;
        int colors;
        bool alpha;
        ByteOrder16 order;
    };
    const Layout layouts[] = {
        {"rgb8", 8, 3, false, ByteOrder16::big},
        {"rgba8", 8, 3, true, ByteOrder16::big},
        {"grey8", 8, 1, false, ByteOrder16::big},
        {"greyalpha8", 8, 1, true, ByteOrder16::big},
        {"rgb16 big-endian", 16, 3, false, ByteOrder16::big},
        {"rgba16 little-endian", 16, 3, true, ByteOrder16::little},
        {"grey16", 16, 1, false, ByteOrder16::little},
        {"greyalpha16", 16, 1, true, ByteOrder16::big},
    };
    ScratchDir dir;
    for (const LosslessFormat& format : losslessFormats)
        for (const Layout& layout : layouts) {
            SCOPED_TRACE(std::string(format.name) + " " + layout.name);
            const Image source = pattern(13, 9, layout.bits, layout.colors, layout.alpha,
                                         layout.order);
            const QString path = dir.filePath(QStringLiteral("out.") +
                                              QLatin1String(format.extension));
            format.write(source, path, {});
            const Image decoded = ImageServices::decode(path);
            expectSamePixels(source, decoded);
            EXPECT_EQ(decoded.alphaInfo, layout.alpha ? AlphaInfo::last : AlphaInfo::none);
            EXPECT_EQ(decoded.colorSpace.componentCount, layout.colors);
        }
}

TEST(LosslessWriterTest, OtherAlphaLayoutsAreWrittenAsStraightRGBA) {
    // ARGB with premultiplied colours: 50 % alpha over (200, 100, 50) stores (100, 50, 25).
    Image argb = Image::make(2, 1, 8, AlphaInfo::premultipliedFirst, ColorSpace::sRGB(), 3);
    argb.pixels = {128, 100, 50, 25, 255, 10, 20, 30};
    // Padding first, with row padding: the padding component must not become alpha.
    Image xrgb = Image::make(2, 1, 8, AlphaInfo::noneSkipFirst, ColorSpace::sRGB(), 3);
    xrgb.bytesPerRow = 12;
    xrgb.pixels = {0, 1, 2, 3, 0, 4, 5, 6, 99, 99, 99, 99};

    ScratchDir dir;
    const QString path = dir.filePath(QStringLiteral("a.png"));
    ImageServices::writePNG(argb, path, {});
    const Image straight = ImageServices::decode(path);
    ASSERT_EQ(straight.componentsPerPixel(), 4);
    EXPECT_NEAR(component(straight, 0, 0, 0), 199, 1);
    EXPECT_NEAR(component(straight, 0, 0, 1), 100, 1);
    EXPECT_NEAR(component(straight, 0, 0, 2), 50, 1);
    EXPECT_EQ(component(straight, 0, 0, 3), 128);
    EXPECT_EQ(component(straight, 1, 0, 0), 10);
    EXPECT_EQ(component(straight, 1, 0, 3), 255);

    ImageServices::writePNG(xrgb, path, {});
    const Image rgb = ImageServices::decode(path);
    ASSERT_EQ(rgb.componentsPerPixel(), 3);
    EXPECT_EQ(rgb.pixels, (std::vector<std::uint8_t>{1, 2, 3, 4, 5, 6}));
}

TEST(LosslessWriterTest, MetadataIsCarriedAndAbsentMetadataIsNotInvented) {
    const QByteArray profile = ImageServices::sRGBProfile();
    ASSERT_FALSE(profile.isEmpty());
    ScratchDir dir;
    // The second size is large enough for the PNG writer to compress its rows in parallel.
    for (const int width : {8, 1100})
    for (const LosslessFormat& format : losslessFormats) {
        SCOPED_TRACE(std::string(format.name) + " " + std::to_string(width));
        Image tagged = pattern(width, width == 8 ? 6 : 1000, 8, 3, true);
        tagged.colorSpace = ColorSpace::fromICC(profile, 3);
        const QString path = dir.filePath(QStringLiteral("m.") + QLatin1String(format.extension));

        WriteMetadata metadata;
        metadata.orientation = 6;
        metadata.dpiWidth = 300;
        metadata.dpiHeight = 150;
        format.write(tagged, path, metadata);
        auto properties = ImageServices::readProperties(path);
        ASSERT_TRUE(properties.has_value());
        EXPECT_EQ(properties->orientation, 6);
        ASSERT_TRUE(properties->dpiWidth.has_value());
        EXPECT_NEAR(*properties->dpiWidth, 300, 0.05);
        EXPECT_NEAR(properties->dpiHeight.value_or(0), 150, 0.05);
        EXPECT_TRUE(properties->hasICCProfile);
        const Image decoded = ImageServices::decode(path);
        EXPECT_EQ(decoded.colorSpace.kind, ColorSpace::Kind::icc);
        EXPECT_EQ(decoded.colorSpace.iccProfile, profile);
        // Stored orientation: the pixels are not turned by the tag.
        EXPECT_EQ(decoded.width, width);
        expectSamePixels(tagged, decoded);

        format.write(pattern(width, tagged.height, 8, 3, false), path, {});
        properties = ImageServices::readProperties(path);
        ASSERT_TRUE(properties.has_value());
        EXPECT_FALSE(properties->hasICCProfile);
        EXPECT_FALSE(properties->exif.has_value());
        EXPECT_TRUE(properties->orientation.value_or(1) == 1);
        EXPECT_EQ(ImageServices::decode(path).colorSpace.kind, ColorSpace::Kind::sRGB);
    }
}

TEST(LosslessWriterTest, PngCarriesExifAndAnEmptyBlockWritesNone) {
    ScratchDir dir;
    const QString source = dir.filePath(QStringLiteral("source.png"));
    WriteMetadata withOrientation;
    withOrientation.orientation = 3;
    ImageServices::writePNG(pattern(4, 4, 8, 3, false), source, withOrientation);
    const auto sourceProperties = ImageServices::readProperties(source);
    ASSERT_TRUE(sourceProperties && sourceProperties->exif);
    EXPECT_EQ(sourceProperties->orientation, 3);
    // No resolution was asked for, so none is recorded.
    EXPECT_FALSE(sourceProperties->dpiWidth.has_value());

    WriteMetadata empty;
    empty.exif = QByteArray();
    const QString bare = dir.filePath(QStringLiteral("bare.png"));
    ImageServices::writePNG(pattern(4, 4, 8, 3, false), bare, empty);
    const auto bareProperties = ImageServices::readProperties(bare);
    ASSERT_TRUE(bareProperties.has_value());
    EXPECT_FALSE(bareProperties->exif.has_value());
    EXPECT_FALSE(bareProperties->orientation.has_value());
}

TEST(LosslessWriterTest, ExifFromAJpegCarriesIntoAPng) {
    ScratchDir dir;
    const QString jpeg = dir.filePath(QStringLiteral("photo.jpg"));
    WriteMetadata camera;
    camera.orientation = 6;
    ImageServices::writeJPEG(gradient(24, 16), jpeg, 0.9, camera);
    const auto source = ImageServices::readProperties(jpeg);
    ASSERT_TRUE(source && source->exif);

    WriteMetadata carried;
    carried.exif = source->exif;
    carried.orientation = source->orientation;
    const QString png = dir.filePath(QStringLiteral("cutout.png"));
    ImageServices::writePNG(pattern(24, 16, 8, 3, true), png, carried);
    const auto written = ImageServices::readProperties(png);
    ASSERT_TRUE(written && written->exif);
    EXPECT_EQ(written->orientation, 6);
    QFile file(png);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll().count("eXIf"), 1) << "a PNG may hold one eXIf chunk";
}

TEST(WriterTest, UnwritableImagesAndDestinationsFailCleanly) {
    ScratchDir dir;
    Image floating = Image::make(4, 4, 32, AlphaInfo::none, ColorSpace::sRGB(), 3);
    Image noColorSpace = pattern(4, 4, 8, 3, false);
    noColorSpace.colorSpace = {};
    Image truncated = pattern(4, 4, 8, 3, false);
    truncated.pixels.resize(10);
    Image alphaOnly = Image::make(4, 4, 8, AlphaInfo::only, ColorSpace::deviceGray(), 0);

    struct Case {
        const char* name;
        Image image;
        QString path;
        ImageServiceError::Kind kind;
    };
    const QString inMissingFolder = dir.filePath(QStringLiteral("no/such/folder/x.out"));
    const Case cases[] = {
        {"float", floating, dir.filePath(QStringLiteral("f.out")),
         ImageServiceError::Kind::unsupportedFormat},
        {"no colour space", noColorSpace, dir.filePath(QStringLiteral("n.out")),
         ImageServiceError::Kind::unsupportedFormat},
        {"truncated pixels", truncated, dir.filePath(QStringLiteral("t.out")),
         ImageServiceError::Kind::unsupportedFormat},
        {"alpha only", alphaOnly, dir.filePath(QStringLiteral("a.out")),
         ImageServiceError::Kind::unsupportedFormat},
        {"missing folder", pattern(4, 4, 8, 3, false), inMissingFolder,
         ImageServiceError::Kind::writeFailed},
    };
    for (const LosslessFormat& format : losslessFormats)
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(format.name) + " " + c.name);
            try {
                format.write(c.image, c.path, {});
                ADD_FAILURE() << "no error";
            } catch (const ImageServiceError& error) {
                EXPECT_EQ(error.kind(), c.kind);
                EXPECT_FALSE(error.description().isEmpty());
                EXPECT_FALSE(error.description().contains(QLatin1Char('\n')));
            }
            EXPECT_FALSE(QFileInfo::exists(c.path));
        }
}

TEST(WriterTest, AFailedWriteKeepsTheFileThatWasThere) {
    ScratchDir dir;
    const QString path = dir.writeFile(QStringLiteral("keep.png"), QByteArray("previous"));
    Image floating = Image::make(4, 4, 32, AlphaInfo::none, ColorSpace::sRGB(), 3);
    EXPECT_THROW(ImageServices::writePNG(floating, path, {}), ImageServiceError);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("previous"));
}

TEST(JpegWriterTest, QualityTracksFidelityAndAlphaIsFlattenedOntoWhite) {
    ScratchDir dir;
    const Image source = gradient(96, 64);
    const QString high = dir.filePath(QStringLiteral("high.jpg"));
    const QString low = dir.filePath(QStringLiteral("low.jpg"));
    ImageServices::writeJPEG(source, high, 0.95, {});
    ImageServices::writeJPEG(source, low, 0.05, {});
    const Image highDecoded = ImageServices::decode(high);
    ASSERT_EQ(highDecoded.width, 96);
    ASSERT_EQ(highDecoded.componentsPerPixel(), 3);
    EXPECT_GT(test::psnr(source, highDecoded), 38.0);
    EXPECT_LT(test::psnr(source, ImageServices::decode(low)), test::psnr(source, highDecoded));
    EXPECT_GT(QFileInfo(high).size(), QFileInfo(low).size());

    const auto properties = ImageServices::readProperties(high);
    ASSERT_TRUE(properties.has_value());
    EXPECT_FALSE(properties->exif.has_value()) << "no EXIF was asked for";

    Image transparent = Image::make(16, 16, 8, AlphaInfo::last, ColorSpace::sRGB(), 3);
    const QString flat = dir.filePath(QStringLiteral("flat.jpg"));
    ImageServices::writeJPEG(transparent, flat, 0.9, {});
    const Image flattened = ImageServices::decode(flat);
    ASSERT_EQ(flattened.componentsPerPixel(), 3);
    EXPECT_GE(component(flattened, 8, 8, 0), 250);
}

TEST(JpegWriterTest, MetadataIsCarried) {
    ScratchDir dir;
    WriteMetadata metadata;
    metadata.orientation = 8;
    metadata.dpiWidth = 240;
    metadata.dpiHeight = 240;
    Image tagged = gradient(32, 16);
    tagged.colorSpace = ColorSpace::fromICC(ImageServices::sRGBProfile(), 3);
    const QString path = dir.filePath(QStringLiteral("m.jpg"));
    ImageServices::writeJPEG(tagged, path, 0.8, metadata);
    const auto properties = ImageServices::readProperties(path);
    ASSERT_TRUE(properties.has_value());
    EXPECT_EQ(properties->orientation, 8);
    EXPECT_NEAR(properties->dpiWidth.value_or(0), 240, 0.05);
    EXPECT_TRUE(properties->hasICCProfile);
}

TEST(HeicWriterTest, WritesALossyHeifThatDecodesClose) {
    ScratchDir dir;
    const Image source = gradient(64, 48);
    const QString good = dir.filePath(QStringLiteral("good.heic"));
    const QString poor = dir.filePath(QStringLiteral("poor.heic"));
    try {
        ImageServices::writeHEIC(source, good, 0.9);
        ImageServices::writeHEIC(source, poor, 0.05);
    } catch (const ImageServiceError& error) {
        if (error.description().contains(QStringLiteral("encoder"), Qt::CaseInsensitive))
            GTEST_SKIP() << "no HEVC encoder: " << error.description().toStdString();
        throw;
    }
    QFile file(good);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.read(12).mid(4, 8), QByteArray("ftypheic"));
    const Image decoded = ImageServices::decode(good);
    ASSERT_EQ(decoded.width, 64);
    ASSERT_EQ(decoded.height, 48);
    EXPECT_GT(test::psnr(source, decoded), 32.0);
    EXPECT_GT(QFileInfo(good).size(), QFileInfo(poor).size());
}

TEST(TgaWriterTest, HeaderAndBottomUpBgrRows) {
    ScratchDir dir;
    Image image = Image::make(3, 2, 8, AlphaInfo::none, ColorSpace::sRGB(), 3);
    image.pixels = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18};
    const QString path = dir.filePath(QStringLiteral("x.tga"));
    ImageServices::writeTGA(image, path);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray tga = file.readAll();
    ASSERT_EQ(tga.size(), 18 + 3 * 2 * 3);
    EXPECT_EQ(tga[2], 2);
    EXPECT_EQ(tga[12], 3);
    EXPECT_EQ(tga[14], 2);
    EXPECT_EQ(tga[16], 24);
    EXPECT_EQ(tga[17] & 0x20, 0) << "rows are stored bottom-up";
    // First stored row is the bottom one, each pixel as B, G, R.
    EXPECT_EQ(tga.mid(18, 6), QByteArray("\x0c\x0b\x0a\x0f\x0e\x0d", 6));

    Image rgba = Image::make(1, 1, 16, AlphaInfo::last, ColorSpace::sRGB(), 3);
    test::fill(rgba, [](int, int, int i) { return (i + 1) * 0x1100 + 0x22; });
    ImageServices::writeTGA(rgba, path);
    QFile alphaFile(path);
    ASSERT_TRUE(alphaFile.open(QIODevice::ReadOnly));
    const QByteArray withAlpha = alphaFile.readAll();
    ASSERT_EQ(withAlpha.size(), 18 + 4);
    EXPECT_EQ(withAlpha[16], 32);
    EXPECT_EQ(withAlpha[17] & 0x0F, 8);
    EXPECT_EQ(withAlpha.mid(18), QByteArray("\x33\x22\x11\x44", 4));
}

TEST(TgaWriterTest, CjpegReadsTheFile) {
    const QString cjpeg = QStandardPaths::findExecutable(QStringLiteral("cjpeg"));
    if (cjpeg.isEmpty())
        GTEST_SKIP() << "cjpeg is not on PATH (Debian package libjpeg-turbo-progs)";
    ScratchDir dir;
    const Image source = test::quadrants(80, 50);
    const QString tga = dir.filePath(QStringLiteral("in.tga"));
    const QString jpeg = dir.filePath(QStringLiteral("out.jpg"));
    ImageServices::writeTGA(source, tga);
    QProcess process;
    process.start(cjpeg, {QStringLiteral("-targa"), QStringLiteral("-quality"),
                          QStringLiteral("90"), QStringLiteral("-outfile"), jpeg, tga});
    ASSERT_TRUE(process.waitForFinished(30000));
    ASSERT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
    const Image decoded = ImageServices::decode(jpeg);
    ASSERT_EQ(decoded.width, 80);
    ASSERT_EQ(decoded.height, 50);
    // Upside-down or channel-swapped quadrants would score under 10 dB.
    EXPECT_GT(test::psnr(source, decoded), 25.0);
}

} // namespace
} // namespace glintwork
