#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "cutout/AlphaComposition.h"
#include "cutout/CutoutTestImages.h"
#include "cutout/ImageIOWriteError.h"
#include "cutout/ImageMetadata.h"
#include "platform/ImageServices.h"
#include "support/TestSupport.h"

namespace glintwork {
namespace {

using test::ScratchDir;

QStringList visibleAndHiddenEntries(const QString& folder) {
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
}

TEST(CutoutWrite, ProfileOrientationAndResolutionSurviveARoundTrip) {
    const QByteArray profile = ImageServices::sRGBProfile();
    ASSERT_FALSE(profile.isEmpty());
    for (const CutoutOutputFormat format : kAllCutoutOutputFormats) {
        for (const int bits : {8, 16}) {
            SCOPED_TRACE(rawValue(format).toStdString() + " " + std::to_string(bits));
            ScratchDir dir;
            // The source: a tagged photo with a camera orientation and a resolution.
            Image photo = test::noiseImage(12, 9, bits, AlphaInfo::none, 3);
            photo.byteOrder16 = ByteOrder16::little;
            photo.colorSpace = ColorSpace::fromICC(profile, 3);
            WriteMetadata camera;
            camera.orientation = 6;
            camera.dpiWidth = 300;
            camera.dpiHeight = 200;
            const QString sourcePath = dir.filePath(QStringLiteral("photo.png"));
            ImageServices::writePNG(photo, sourcePath, camera);

            const auto metadata = ImageMetadata::read(sourcePath);
            ASSERT_TRUE(metadata.has_value());
            EXPECT_EQ(metadata->orientation, 6);

            const Image source = ImageServices::decode(sourcePath);
            const Image mask = test::greyMask(12, 9, [](int x, int) { return x * 20; });
            const Image cutout = withMaskAsAlpha(source, mask);
            const QString target =
                dir.filePath(QStringLiteral("photo-cutout.") + fileExtension(format));
            EXPECT_EQ(write(cutout, target, format, metadata), target);

            const auto written = ImageServices::readProperties(target);
            ASSERT_TRUE(written.has_value());
            EXPECT_EQ(written->orientation, 6);
            EXPECT_NEAR(written->dpiWidth.value_or(0), 300, 0.05);
            EXPECT_NEAR(written->dpiHeight.value_or(0), 200, 0.05);
            EXPECT_EQ(written->bitsPerComponent, bits);
            const Image back = ImageServices::decode(target);
            EXPECT_EQ(back.colorSpace.iccProfile, profile);
            // Lossless: every colour sample and the mask come back as written.
            const Image expected = ImageServices::toRGBA8(cutout);
            ASSERT_EQ(back.alphaInfo, AlphaInfo::last);
            if (bits == 8) {
                EXPECT_EQ(back.pixels, cutout.pixels);
            } else {
                EXPECT_EQ(ImageServices::toRGBA8(back).pixels.size(), expected.pixels.size());
            }
            EXPECT_EQ(visibleAndHiddenEntries(dir.path()).size(), 2) << "no temporary file stays";
        }
    }
}

TEST(CutoutWrite, SixteenBitSamplesSurviveTiffByteForByte) {
    ScratchDir dir;
    Image source = test::noiseImage(10, 6, 16, AlphaInfo::none, 3);
    source.byteOrder16 = ByteOrder16::little;
    const Image cutout = withMaskAsAlpha(source, test::greyMask(10, 6, [](int x, int y) { return x * y; }));
    const QString path = dir.filePath(QStringLiteral("deep.tiff"));
    (void)write(cutout, path, CutoutOutputFormat::tiff, std::nullopt);
    Image back = ImageServices::decode(path);
    ASSERT_EQ(back.bitsPerComponent, 16);
    ASSERT_EQ(back.byteOrder16, ByteOrder16::little) << "decode gives native order here";
    EXPECT_EQ(back.pixels, cutout.pixels);
}

TEST(CutoutWrite, EmptyExifAndAbsentValuesWriteNothing) {
    ScratchDir dir;
    ImageMetadata metadata;
    metadata.exif = QByteArray();
    WriteMetadata merged;
    metadata.merge(merged);
    EXPECT_EQ(merged, WriteMetadata{});

    const Image image = withMaskAsAlpha(test::noiseImage(4, 4, 8, AlphaInfo::none, 3),
                                        test::greyMask(4, 4, [](int, int) { return 255; }));
    const QString path = dir.filePath(QStringLiteral("bare.png"));
    (void)write(image, path, CutoutOutputFormat::png, metadata);
    const auto properties = ImageServices::readProperties(path);
    ASSERT_TRUE(properties.has_value());
    EXPECT_FALSE(properties->exif.has_value());
    EXPECT_FALSE(properties->orientation.has_value());
    EXPECT_FALSE(properties->dpiWidth.has_value());
}

TEST(CutoutWrite, FailuresLeaveNoFileAndNameTheDestination) {
    ScratchDir dir;
    const Image image = withMaskAsAlpha(test::noiseImage(4, 4, 8, AlphaInfo::none, 3),
                                        test::greyMask(4, 4, [](int, int) { return 255; }));
    Image noSpace = image;
    noSpace.colorSpace = {};
    Image floating = Image::make(4, 4, 32, AlphaInfo::none, ColorSpace::sRGB(), 3);
    // Noise does not compress: far more than the small disk holds.
    const Image large = withMaskAsAlpha(test::noiseImage(400, 400, 8, AlphaInfo::none, 3),
                                        test::greyMask(400, 400, [](int, int) { return 255; }));
    const test::SmallDisk disk(dir);

    const struct {
        const char* name;
        const Image* image;
        QString path;
        const char* text;
    } cases[] = {
        {"no colour space", &noSpace, dir.filePath(QStringLiteral("y.png")),
         "Cannot save an image without a color space; ICC profile would be lost."},
        {"encoder refuses", &floating, dir.filePath(QStringLiteral("z.tiff")),
         "Failed to finalize image data for z.tiff."},
        {"full disk", &large,
         disk.isMounted() ? disk.path() + QStringLiteral("/big.tiff") : QString(),
         "Could not write big.tiff: No space left on device."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.path.isEmpty())
            continue; // the full disk, which cannot be made here
        try {
            (void)write(*c.image, c.path, CutoutOutputFormat::tiff, std::nullopt);
            ADD_FAILURE() << "written";
        } catch (const ImageIOWriteError& error) {
            EXPECT_EQ(error.description().toStdString(), c.text);
        }
        EXPECT_TRUE(visibleAndHiddenEntries(dir.path()).isEmpty());
        if (disk.isMounted()) {
            EXPECT_TRUE(visibleAndHiddenEntries(disk.path()).isEmpty());
        }
    }
    if (!disk.isMounted())
        GTEST_SKIP() << "full disk not checked: mounting a small tmpfs needs root";
}

// A name longer than the file system takes is shortened in the middle of its stem; the
// stem's end, where the naming suffix sits, and the extension stay.
TEST(CutoutWrite, OverlongNamesAreShortenedKeepingSuffixAndExtension) {
    ScratchDir dir;
    const Image image = withMaskAsAlpha(test::noiseImage(4, 4, 8, AlphaInfo::none, 3),
                                        test::greyMask(4, 4, [](int, int) { return 255; }));
    const QString stem =
        QString(150, QLatin1Char('a')) + QString(60, QChar(0x00E9)) + QStringLiteral("-cutout");
    const QString path = dir.filePath(stem + QStringLiteral(".png"));
    QStringList names;
    for (int i = 0; i < 2; ++i) {
        const QString written = write(image, path, CutoutOutputFormat::png, std::nullopt);
        names << QFileInfo(written).fileName();
        EXPECT_EQ(ImageServices::decode(written).width, 4);
    }
    for (const QString& name : names) {
        EXPECT_LE(QFile::encodeName(name).size(), 255) << name.toStdString();
        EXPECT_TRUE(name.startsWith(QString(100, QLatin1Char('a')))) << name.toStdString();
        EXPECT_FALSE(name.contains(QChar::ReplacementCharacter));
    }
    EXPECT_TRUE(names[0].endsWith(QString(20, QChar(0x00E9)) + QStringLiteral("-cutout.png")));
    EXPECT_TRUE(names[1].endsWith(QStringLiteral("-cutout-1.png"))) << names[1].toStdString();
}

TEST(CutoutWrite, NeverReplacesAFileThatAppearedMeanwhile) {
    ScratchDir dir;
    const QString taken = dir.writeFile(QStringLiteral("photo-cutout.png"), "someone else's");
    const Image image = withMaskAsAlpha(test::noiseImage(4, 4, 8, AlphaInfo::none, 3),
                                        test::greyMask(4, 4, [](int, int) { return 255; }));
    const QString written = write(image, taken, CutoutOutputFormat::png, std::nullopt);
    EXPECT_EQ(QFileInfo(written).fileName(), QStringLiteral("photo-cutout-1.png"));
    QFile original(taken);
    ASSERT_TRUE(original.open(QIODevice::ReadOnly));
    EXPECT_EQ(original.readAll(), QByteArray("someone else's"));
}

TEST(ImageMetadataRead, NothingForFilesThatAreNotImages) {
    ScratchDir dir;
    EXPECT_FALSE(ImageMetadata::read(dir.filePath(QStringLiteral("missing.png"))).has_value());
    EXPECT_FALSE(ImageMetadata::read(dir.writeFile(QStringLiteral("text.png"), "hello")).has_value());
    const QString plain = dir.filePath(QStringLiteral("plain.png"));
    ImageServices::writePNG(test::noiseImage(3, 3, 8, AlphaInfo::none, 3), plain);
    const auto metadata = ImageMetadata::read(plain);
    ASSERT_TRUE(metadata.has_value());
    EXPECT_FALSE(metadata->orientation.has_value());
    EXPECT_FALSE(metadata->dpiWidth.has_value());
}

} // namespace
} // namespace glintwork
