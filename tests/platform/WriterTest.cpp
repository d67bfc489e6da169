#include <tuple>

#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>

#include "platform/ImageServices.h"
#include "support/TestImages.h"
#include "support/TestSupport.h"

namespace glintwork {
namespace {

using namespace Qt::Literals::StringLiterals;
using test::component;
using test::expectSamePixels;

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

QByteArray contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(absent)");
}

// Writes a PNG or a TIFF, as the path's extension says.
void write(const Image& image, const QString& path, const WriteMetadata& metadata = {}) {
    if (path.endsWith(u".png"_s))
        ImageServices::writePNG(image, path, metadata);
    else
        ImageServices::writeTIFF(image, path, metadata);
}

// Every layout survives a write and a decode, and absent metadata is not invented. The
// megapixel ones make the PNG writer compress their rows in parallel, which shows as one
// image data chunk where libpng writes many small ones. (Carrying metadata is the cut-out
// writer's test, EXIF the TIFF EXIF test's.)
TEST(LosslessWriterTest, EveryLayoutSurvivesAndNoMetadataIsInvented) {
    const struct {
        int width, height, bits, colors;
        bool alpha;
        ByteOrder16 order;
    } layouts[] = {
        {13, 9, 8, 1, false, ByteOrder16::big},     {13, 9, 8, 1, true, ByteOrder16::big},
        {13, 9, 16, 1, false, ByteOrder16::little}, {13, 9, 16, 1, true, ByteOrder16::big},
        {13, 9, 16, 3, true, ByteOrder16::big},     {13, 9, 8, 3, true, ByteOrder16::big},
        {1024, 1024, 8, 3, true, ByteOrder16::big}, {1024, 1024, 8, 3, false, ByteOrder16::big},
    };
    test::ScratchDir dir;
    for (const QString& path : {dir.filePath(u"out.png"_s), dir.filePath(u"out.tif"_s)})
        for (const auto& l : layouts) {
            SCOPED_TRACE(testing::Message() << path.toStdString() << " " << l.bits << "-bit, "
                                            << l.colors << " colours, alpha " << l.alpha);
            const Image source = pattern(l.width, l.height, l.bits, l.colors, l.alpha, l.order);
            write(source, path, {{}, {}, {}, QByteArray()});
            if (path.endsWith(u".png"_s) && l.height > 9) {
                EXPECT_EQ(contents(path).count("IDAT"), 1) << "rows compressed in parallel";
            }
            const Image decoded = ImageServices::decode(path);
            expectSamePixels(source, decoded);
            EXPECT_EQ(std::tuple(decoded.alphaInfo, decoded.colorSpace.componentCount),
                      std::tuple(source.alphaInfo, l.colors));
            const auto properties = ImageServices::readProperties(path);
            ASSERT_TRUE(properties.has_value());
            EXPECT_FALSE(properties->hasICCProfile || properties->exif);
            EXPECT_EQ(properties->orientation.value_or(1), 1);
            EXPECT_NEAR(properties->dpiWidth.value_or(72), 72, 0.05);
        }
}

// No file is left where none was, and one that was there is kept.
TEST(WriterTest, UnwritableImagesAndDestinationsFailCleanly) {
    test::ScratchDir dir;
    Image floating = Image::make(4, 4, 32, AlphaInfo::none, ColorSpace::sRGB(), 3);
    Image noColorSpace = pattern(4, 4, 8, 3, false);
    noColorSpace.colorSpace = {};
    Image truncated = pattern(4, 4, 8, 3, false);
    truncated.pixels.resize(10);
    using Kind = ErrorKind;
    const struct {
        Image image;
        QString name;
        Kind kind;
    } cases[] = {
        {floating, u"existing"_s, Kind::unsupportedFormat},
        {noColorSpace, u"no-colour-space"_s, Kind::unsupportedFormat},
        {truncated, u"truncated-pixels"_s, Kind::unsupportedFormat},
        {pattern(4, 4, 8, 3, false), u"no/such/folder/x"_s, Kind::writeFailed},
    };
    dir.writeFile(u"existing.png"_s, "previous");
    dir.writeFile(u"existing.tif"_s, "previous");
    for (const char* extension : {".png", ".tif"})
        for (const auto& c : cases) {
            const QString path = dir.filePath(c.name + QLatin1String(extension));
            SCOPED_TRACE(path.toStdString());
            const QByteArray before = contents(path);
            try {
                write(c.image, path);
                ADD_FAILURE() << "no error";
            } catch (const Error& error) {
                EXPECT_EQ(error.kind(), c.kind);
                EXPECT_FALSE(error.text().isEmpty() || error.text().contains(u'\n'));
            }
            EXPECT_EQ(contents(path), before);
        }
}

} // namespace
} // namespace glintwork
