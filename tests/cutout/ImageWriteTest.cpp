#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "cutout/AlphaComposition.h"
#include "cutout/CutoutWriter.h"
#include "cutout/ImageMetadata.h"
#include "platform/ImageServices.h"
#include "support/TestImages.h"
#include "support/TestSupport.h"

namespace glintwork {
namespace {

using test::ScratchDir;

QStringList visibleAndHiddenEntries(const QString& folder) {
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
}

Image cutoutOfNoise(int width, int height) {
    return withMaskAsAlpha(test::noiseImage(width, height, 8, AlphaInfo::none, 3),
                           test::greyMask(width, height, [](int x, int y) { return 255 - (x * 20 + y) % 256; }));
}

TEST(CutoutWrite, EverySampleProfileOrientationAndResolutionSurvive) {
    const QByteArray profile = ImageServices::sRGBProfile();
    for (const CutoutOutputFormat format : kAllCutoutOutputFormats) {
        SCOPED_TRACE(keyword(format).toStdString());
        ScratchDir dir;
        // A tagged 16-bit photo with a camera orientation and a resolution.
        Image photo = test::noiseImage(12, 9, 16, AlphaInfo::none, 3);
        photo.byteOrder16 = ByteOrder16::little;
        photo.colorSpace = ColorSpace::fromICC(profile, 3);
        const QString sourcePath = dir.filePath(QStringLiteral("photo.png"));
        ImageServices::writePNG(photo, sourcePath, WriteMetadata{6, 300, 200, {}});
        const Image cutout = withMaskAsAlpha(ImageServices::decode(sourcePath), test::greyMask(12, 9, [](int x, int) { return x * 20; }));
        const QString target = dir.filePath(QStringLiteral("photo-cutout.") + fileExtension(format));
        EXPECT_EQ(CutoutWriter::write(cutout, target, format, ImageMetadata::read(sourcePath)),
                  target);

        const auto written = ImageServices::readProperties(target);
        ASSERT_TRUE(written.has_value());
        EXPECT_EQ(written->orientation, 6);
        EXPECT_NEAR(written->dpiWidth.value_or(0), 300, 0.05);
        EXPECT_NEAR(written->dpiHeight.value_or(0), 200, 0.05);
        const Image back = ImageServices::decode(target);
        EXPECT_EQ(back.colorSpace.iccProfile, profile);
        EXPECT_EQ(back.alphaInfo, AlphaInfo::last);
        test::expectSamePixels(cutout, back);
        EXPECT_EQ(visibleAndHiddenEntries(dir.path()).size(), 2) << "no temporary file stays";
    }
}

// What the source lacks the cut-out does not get; an unreadable source gives no metadata at all.
TEST(CutoutWrite, AbsentMetadataStaysAbsent) {
    ScratchDir dir;
    EXPECT_FALSE(ImageMetadata::read(dir.filePath(QStringLiteral("missing.png"))).has_value());
    EXPECT_FALSE(ImageMetadata::read(dir.writeFile(QStringLiteral("text.png"), "hello")).has_value());
    const QString plain = dir.filePath(QStringLiteral("plain.png"));
    ImageServices::writePNG(test::noiseImage(3, 3, 8, AlphaInfo::none, 3), plain);
    EXPECT_EQ(ImageMetadata::read(plain), ImageMetadata{});
}

TEST(CutoutWrite, FailuresLeaveNoFileAndNameTheDestination) {
    ScratchDir dir;
    const Image image = cutoutOfNoise(4, 4);
    Image noSpace = image;
    noSpace.colorSpace = {};
    const Image floating = Image::make(4, 4, 32, AlphaInfo::none, ColorSpace::sRGB(), 3);
    const Image large = cutoutOfNoise(400, 400); // noise does not compress: more than the disk holds
    const test::SmallDisk disk(dir);
    const struct {
        const char* name;
        const Image* image;
        QString path;
        const char* text;
    } cases[] = {
        {"no colour space", &noSpace, dir.filePath(QStringLiteral("y.png")),
         "Cannot save an image without a color space; ICC profile would be lost."},
        {"encoder refuses", &floating, dir.filePath(QStringLiteral("z.tiff")), "Failed to finalize image data for z.tiff."},
        {"full disk", &large, disk.path() + QStringLiteral("/big.tiff"), "Could not write big.tiff: No space left on device."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (!disk.isMounted() && c.image == &large)
            continue;
        EXPECT_EQ(test::errorText([&] {
                      (void)CutoutWriter::write(*c.image, c.path, CutoutOutputFormat::tiff,
                                                std::nullopt);
                  }),
                  c.text);
        EXPECT_TRUE(visibleAndHiddenEntries(dir.path()).isEmpty());
        EXPECT_TRUE(visibleAndHiddenEntries(disk.path()).isEmpty());
    }
    if (!disk.isMounted())
        GTEST_SKIP() << "full disk not checked: mounting a small tmpfs needs root";
}

// A name longer than the file system takes is shortened in the middle of its stem, keeping
// the stem's end, where the naming suffix sits, and the extension; a taken name is numbered.
TEST(CutoutWrite, OverlongAndTakenNamesAreShortenedAndNumbered) {
    ScratchDir dir;
    const Image image = cutoutOfNoise(4, 4);
    const QString stem = QString(150, QLatin1Char('a')) + QString(60, QChar(0x00E9)) + QStringLiteral("-cutout");
    QStringList names;
    for (int i = 0; i < 2; ++i) {
        const QString written =
            CutoutWriter::write(image, dir.filePath(stem + QStringLiteral(".png")),
                                CutoutOutputFormat::png, std::nullopt);
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

} // namespace
} // namespace glintwork
