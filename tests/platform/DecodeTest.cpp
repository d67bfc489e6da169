#include <algorithm>
#include <atomic>
#include <string>
#include <thread>
#include <tuple>

#include <QFile>

#include <gtest/gtest.h>

#include "platform/ImageServices.h"
#include "support/PngBuilder.h"
#include "support/TestImages.h"
#include "support/TestSupport.h"

namespace glintwork {
namespace {

using namespace Qt::Literals::StringLiterals;
using test::component;
using test::PngBuilder;

// A PNG built byte by byte: reading its properties gives what its header and chunks record
// (the stored size, whatever the orientation); decoding gives its layout and exact values.
TEST(DecodeTest, PropertiesAndLayoutFollowTheFile) {
    using A = AlphaInfo;
    using K = ColorSpace::Kind;
    using Physical = PngBuilder::Physical;
    const struct {
        int colorType, bitDepth, components;
        A alpha;
        K space;
        int x, index, value; // one component of the first row
        std::optional<Physical> physical;
        double dpiWidth, dpiHeight; // -1: none
        int orientation;            // 0: no eXIf chunk
    } cases[] = {
        {0, 8, 1, A::none, K::deviceGray, 0, 0, 1, {}, -1, -1, 0},
        {0, 1, 1, A::none, K::deviceGray, 7, 0, 255, Physical{11811, 11811, 1}, 299.9994, 299.9994,
         1},
        {4, 8, 2, A::last, K::deviceGray, 0, 1, 1, Physical{2835, 5669, 1}, 72.009, 143.99, 6},
        {2, 8, 3, A::none, K::sRGB, 0, 2, 1, Physical{1, 1, 0}, -1, -1, 3}, // only an aspect ratio
        {3, 8, 3, A::none, K::sRGB, 5, 1, 0x20, {}, -1, -1, 8},
        // Big-endian in the file, and not premultiplied by an alpha of 7.
        {6, 16, 4, A::last, K::sRGB, 1, 2, 0xc0c1, {}, -1, -1, 0},
    };
    test::ScratchDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << "colour type " << c.colorType << ", " << c.bitDepth << "-bit");
        PngBuilder png;
        std::tie(png.width, png.height, png.bitDepth, png.colorType) =
            std::tuple(8, 2, c.bitDepth, c.colorType);
        const int channels = c.colorType == 6 ? 4 : c.colorType == 4 ? 2 : c.colorType == 2 ? 3 : 1;
        png.pixels = QByteArray((8 * channels * c.bitDepth + 7) / 8 * 2, '\x01');
        if (c.bitDepth == 16)
            png.pixels.replace(8, 8, QByteArray("\xa0\xa1\xb0\xb1\xc0\xc1\x00\x07", 8));
        png.palette = QByteArray("\x00\x00\x00\x10\x20\x30", 6);
        png.physical = c.physical;
        if (c.orientation)
            png.exif = test::exifWithOrientation(c.orientation);
        const QString path = dir.writeFile(u"p.png"_s, png.build());

        const auto properties = ImageServices::readProperties(path);
        ASSERT_TRUE(properties.has_value());
        EXPECT_EQ(std::tuple(properties->pixelWidth, properties->pixelHeight, properties->hasAlpha,
                             properties->bitsPerComponent, properties->orientation.value_or(0),
                             properties->exif.has_value(), properties->hasICCProfile),
                  std::tuple(8, 2, c.alpha != A::none, std::max(c.bitDepth, 8), c.orientation,
                             c.orientation != 0, false));
        EXPECT_NEAR(properties->dpiWidth.value_or(-1), c.dpiWidth, 0.01);
        EXPECT_NEAR(properties->dpiHeight.value_or(-1), c.dpiHeight, 0.01);

        const Image image = ImageServices::decode(path);
        EXPECT_EQ(std::tuple(image.width, image.bitsPerComponent, image.componentsPerPixel(),
                             image.alphaInfo, image.colorSpace.kind,
                             image.colorSpace.componentCount, component(image, c.x, 0, c.index)),
                  std::tuple(8, std::max(c.bitDepth, 8), c.components, c.alpha, c.space,
                             c.components - (c.alpha == A::none ? 0 : 1), double(c.value)));
    }
}

// Properties come from the header alone: a huge one may be read but is never decoded.
TEST(DecodeTest, BadInputGivesAClearErrorNoThumbnailAndNoProperties) {
    test::ScratchDir dir;
    // A PNG whose image data is damaged (CRC mismatch) is not listed: libvips 8.14 reports
    // it reliably alone, but after another failed decode in the same process it sometimes
    // returns the damaged pixels without an error.
    PngBuilder noisy;
    noisy.width = noisy.height = 64;
    for (int i = 0; i < 64 * 64 * 3; ++i)
        noisy.pixels.append(char((i * 2654435761u) >> 24));
    const QByteArray good = noisy.build();
    const auto header = [](quint32 width, quint32 height) {
        return PngBuilder::signature() + PngBuilder::ihdr(width, height, 8, 2) +
               PngBuilder::chunk("IDAT", qCompress(QByteArray(64, '\0')).mid(4)) +
               PngBuilder::chunk("IEND", {});
    };
    using Kind = ErrorKind;
    const Kind unreadable = Kind::imageUnreadable, tooLarge = Kind::imageTooLarge;
    const auto file = [&](const char* name, const QByteArray& bytes) {
        return dir.writeFile(QString::fromLatin1(name), bytes);
    };
    const QString prefix = u"The file could not be decoded: "_s;
    const struct {
        QString path;
        Kind kind;
        bool headerIntact;
        QString description; // exact text when not empty
    } cases[] = {
        {dir.filePath(u"absent.png"_s), unreadable, false, prefix + u"the file does not exist"_s},
        {QString(), unreadable, false, {}},
        {file("empty.png", {}), unreadable, false, prefix + u"the file is empty"_s},
        {dir.path(), unreadable, false, prefix + u"it is not a regular file"_s},
        {file("t.png", "hello\n"), unreadable, false,
         prefix + u"it is not in a known image format"_s},
        {file("signature.png", PngBuilder::signature()), unreadable, false, {}},
        {file("truncated.png", good.left(good.size() * 3 / 5)), unreadable, true, {}},
        {file("bomb.png", header(100000, 100000)), tooLarge, true,
         u"Image is too large (100000 × 100000 pixels; the limit is 268435456 pixels)."_s},
        {file("one-row-too-many.png", header(16384, 16385)), tooLarge, true, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path.toStdString());
        const auto error = test::errorOf([&] { (void)ImageServices::decode(c.path); });
        ASSERT_TRUE(error.has_value()) << "decoded without an error";
        EXPECT_EQ(error->kind(), c.kind);
        const QString text = error->text();
        EXPECT_TRUE(c.description.isEmpty() || text == c.description) << text.toStdString();
        EXPECT_TRUE(c.kind != Kind::imageUnreadable ||
                    (text.startsWith(prefix) && error->reason().size() > 3))
            << text.toStdString();
        EXPECT_FALSE(text.contains(u'\n')) << text.toStdString();
        EXPECT_STREQ(error->what(), text.toStdString().c_str());
        // The list's thumbnails meet the same files; a cut PNG may give a partial picture.
        const auto thumbnailError =
            test::errorOf([&] { (void)ImageServices::thumbnail(c.path, 100); });
        EXPECT_TRUE(c.path.endsWith(u"truncated.png"_s) ||
                    (thumbnailError && thumbnailError->kind() == c.kind));
        const auto properties = ImageServices::readProperties(c.path);
        EXPECT_TRUE(!properties || (c.headerIntact && properties->pixelWidth >= 64));
    }
}

// libvips keeps one error buffer for the whole process: two files failing at the same time,
// however their failures interleave, each give their own reason.
TEST(DecodeTest, FilesFailingAtOnceEachGiveTheirOwnReason) {
    test::ScratchDir dir;
    const QString garbage = dir.writeFile(u"garbage.png"_s, "hello\n");
    // Large enough that many of the other file's failures happen while it decodes.
    const QString cut = dir.filePath(u"cut.png"_s);
    ImageServices::writePNG(test::noiseImage(1024, 1024, 8, AlphaInfo::none, 3), cut);
    QFile file(cut);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite) && file.resize(file.size() / 2));
    file.close();
    const auto reasonOf = [](const QString& path) {
        const auto error = test::errorOf([&] { (void)ImageServices::decode(path); });
        return error ? error->reason().toStdString() : std::string("(decoded)");
    };
    const std::string garbageReason = reasonOf(garbage), cutReason = reasonOf(cut);
    ASSERT_NE(garbageReason, cutReason);

    std::atomic<bool> done{false};
    std::atomic<int> wrong{0}, failures{0};
    std::string lastWrong;
    std::thread other([&] {
        while (!done) {
            ++failures;
            if (const std::string reason = reasonOf(garbage); reason != garbageReason) {
                ++wrong;
                lastWrong = reason;
            }
        }
    });
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(reasonOf(cut), cutReason);
    done = true;
    other.join();
    EXPECT_EQ(wrong, 0) << "of " << failures
                        << " failures of the other file, the last: " << lastWrong;
}

} // namespace
} // namespace glintwork
