#include <gtest/gtest.h>

#include "batch/ImageItem.h"
#include "platform/ImageServices.h"
#include "support/TestSupport.h"

namespace glintwork {
namespace {

QString writeTestPNG(const test::ScratchDir& dir, const QString& name, int width, int height) {
    Image image = Image::make(width, height, 8, AlphaInfo::none, ColorSpace::sRGB(), 3);
    const QString path = dir.filePath(name);
    ImageServices::writePNG(image, path, {});
    return path;
}

TEST(ImageItem, ReadsSizesAndFormatFromTheFile) {
    test::ScratchDir dir;
    const QString path = writeTestPNG(dir, QStringLiteral("Photo.PNG"), 37, 21);
    ImageItem item(QUrl::fromLocalFile(path));
    EXPECT_EQ(item.pixelWidth(), 37);
    EXPECT_EQ(item.pixelHeight(), 21);
    EXPECT_EQ(item.originalSize(), QFileInfo(path).size());
    EXPECT_GT(item.originalSize(), 0);
    EXPECT_EQ(item.inputFormat(), QStringLiteral("png"));
    EXPECT_EQ(item.status(), ConversionStatus::waiting());
    EXPECT_EQ(item.progress(), 0.0);
    EXPECT_FALSE(item.outputURL() || item.compressedSize() || item.errorMessage());
}

TEST(ImageItem, UnreadableInputsGiveZeroSizesWithoutThrowing) {
    test::ScratchDir dir;
    const struct {
        const char* name;
        QByteArray bytes;
        bool create;
        qint64 size;
    } cases[] = {
        {"missing.png", {}, false, 0},
        {"empty.png", {}, true, 0},
        {"notes.png", "this is text, not an image", true, 26},
        {"truncated.png", QByteArray("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR", 16), true, 16},
    };
    for (const auto& c : cases) {
        const QString name = QString::fromUtf8(c.name);
        const QString path = c.create ? dir.writeFile(name, c.bytes) : dir.filePath(name);
        ImageItem item(QUrl::fromLocalFile(path));
        EXPECT_EQ(item.originalSize(), c.size) << c.name;
        EXPECT_EQ(item.pixelWidth(), 0) << c.name;
        EXPECT_EQ(item.pixelHeight(), 0) << c.name;
    }
}

TEST(ImageItem, InputFormatIsLowerCasedExtension) {
    const struct {
        const char* path;
        const char* format;
    } cases[] = {{"/x/Photo.JPG", "jpg"}, {"/x/archive.tar.GZ", "gz"}, {"/x/README", ""},
                 {"/x/.hidden", ""},      {"/x/trailing.", ""}};
    for (const auto& c : cases) {
        ImageItem item(QUrl::fromLocalFile(QString::fromUtf8(c.path)));
        EXPECT_EQ(item.inputFormat(), QString::fromUtf8(c.format)) << c.path;
    }
}

struct PercentCase {
    qint64 original;
    std::optional<qint64> output;
    std::optional<const char*> text;
};

TEST(CompressionPercentText, RoundsAndSigns) {
    const PercentCase cases[] = {
        {1000, std::nullopt, std::nullopt}, // not compressed yet
        {0, 500, std::nullopt},             // input size unknown
        {-1, 500, std::nullopt},
        {1000, 650, "-35%"},
        {1000, 1120, "+12%"},
        {1000, 1000, "-0%"},
        {1000, 0, "-100%"},
        {1000, 3000, "+200%"},
        {8, 7, "-12%"},      // exactly 12.5 %: halves round to even
        {8, 5, "-38%"},      // exactly 37.5 %
        {8, 9, "+12%"},
        {1000, 995, "-1%"},  // 0.5 % is a hair above a half in binary
        {1000, 1004, "+0%"}, // grew by less than half a percent
        {1000, 1006, "+1%"},
        {3, 2, "-33%"},
        {1, 1, "-0%"},
    };
    for (const auto& c : cases) {
        const auto text = compressionPercentText(c.original, c.output);
        if (c.text)
            EXPECT_EQ(text, QString::fromUtf8(*c.text)) << c.original << " -> " << c.output.value_or(-1);
        else
            EXPECT_FALSE(text.has_value()) << c.original;
    }
}

TEST(CompressionPercentText, ItemUsesItsRecordedSize) {
    ImageItem item(QUrl::fromLocalFile(QStringLiteral("/missing.png")));
    item.setCompressedSize(10);
    EXPECT_FALSE(item.compressionPercentText().has_value()) << "input size recorded as 0";
}

} // namespace
} // namespace glintwork
