#include <gtest/gtest.h>

#include <tuple>

#include "batch/ImageItem.h"
#include "support/PngBuilder.h"
#include "support/TestSupport.h"

namespace glintwork {
namespace {

using namespace Qt::Literals::StringLiterals;

// Files that cannot be read give zero sizes without throwing; the format is the lower-cased
// extension whatever the contents.
TEST(ImageItem, ReadsSizesAndFormatFromTheFile) {
    test::PngBuilder png;
    std::tie(png.width, png.height) = std::tuple(37, 21);
    png.pixels = QByteArray(37 * 21 * 3, '\x40');
    const struct {
        QString name;
        std::optional<QByteArray> bytes; // none: no such file
        const char* format;
        int width, height;
    } cases[] = {
        {u"Photo.PNG"_s, png.build(), "png", 37, 21},
        {u"missing.tar.GZ"_s, {}, "gz", 0, 0},
        {u"empty"_s, QByteArray(), "", 0, 0},
        {u"notes.png"_s, QByteArray("this is text, not an image"), "png", 0, 0},
        {u"truncated."_s, QByteArray("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR", 16), "", 0, 0},
    };
    test::ScratchDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name.toStdString());
        ImageItem item(
            QUrl::fromLocalFile(c.bytes ? dir.writeFile(c.name, *c.bytes) : dir.filePath(c.name)));
        EXPECT_EQ(item.originalSize(), c.bytes.value_or(QByteArray()).size());
        EXPECT_EQ(std::pair(item.pixelWidth(), item.pixelHeight()), std::pair(c.width, c.height));
        EXPECT_EQ(item.inputFormat(), QString::fromUtf8(c.format));
        item.setCompressedSize(10);
        EXPECT_EQ(item.compressionPercentText().has_value(), item.originalSize() > 0);
    }
}

// Halves round to even: 12.5 % and 37.5 % below are exact, 0.5 % is a hair above a half.
TEST(CompressionPercentText, RoundsAndSigns) {
    const std::tuple<qint64, std::optional<qint64>, const char*> cases[] = {
        {1000, std::nullopt, "(none)"},
        {0, 500, "(none)"},
        {1000, 1000, "-0%"},
        {8, 7, "-12%"},
        {8, 5, "-38%"},
        {8, 9, "+12%"},
        {1000, 995, "-1%"},
        {1000, 1004, "+0%"},
    };
    for (const auto& [original, output, text] : cases)
        EXPECT_EQ(compressionPercentText(original, output).value_or(u"(none)"_s).toStdString(),
                  text)
            << original << " -> " << output.value_or(-1);
}

} // namespace
} // namespace glintwork
