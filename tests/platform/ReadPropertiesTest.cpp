#include <gtest/gtest.h>

#include <tuple>

#include "platform/ImageServices.h"
#include "support/PngBuilder.h"
#include "support/TestSupport.h"

namespace glintwork {
namespace {

using namespace Qt::Literals::StringLiterals;
using test::PngBuilder;

TEST(ReadPropertiesTest, ReportsWhatTheHeaderRecordsAndNothingElse) {
    using Physical = PngBuilder::Physical;
    struct Case {
        int bitDepth, colorType;
        bool alpha;
        std::optional<Physical> physical;
        std::optional<double> dpiWidth, dpiHeight;
        int orientation; // 0: no eXIf chunk
    };
    const Case cases[] = {
        {8, 2, false, {}, {}, {}, 0},
        {8, 6, true, Physical{11811, 11811, 1}, 299.9994, 299.9994, 1},
        {16, 2, false, Physical{2835, 5669, 1}, 72.009, 143.99, 6},
        {16, 4, true, Physical{1, 1, 0}, {}, {}, 3}, // an aspect ratio only is no resolution
        {8, 0, false, {}, {}, {}, 8},
    };
    test::ScratchDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.bitDepth << "-bit type " << c.colorType);
        PngBuilder png;
        std::tie(png.width, png.height, png.bitDepth, png.colorType) =
            std::tuple(6, 3, c.bitDepth, c.colorType);
        const int channels = c.colorType == 6 ? 4 : c.colorType == 4 ? 2 : c.colorType == 0 ? 1 : 3;
        png.pixels = QByteArray(6 * 3 * channels * c.bitDepth / 8, '\x40');
        png.physical = c.physical;
        if (c.orientation)
            png.exif = test::exifWithOrientation(c.orientation);
        const auto properties =
            ImageServices::readProperties(dir.writeFile(u"p.png"_s, png.build()));
        ASSERT_TRUE(properties.has_value());
        // The stored size, not the size after applying the orientation.
        EXPECT_EQ(properties->pixelWidth, 6);
        EXPECT_EQ(properties->pixelHeight, 3);
        EXPECT_EQ(properties->hasAlpha, c.alpha);
        EXPECT_EQ(properties->bitsPerComponent, c.bitDepth);
        EXPECT_NEAR(properties->dpiWidth.value_or(-1), c.dpiWidth.value_or(-1), 0.01);
        EXPECT_NEAR(properties->dpiHeight.value_or(-1), c.dpiHeight.value_or(-1), 0.01);
        EXPECT_EQ(properties->orientation.value_or(0), c.orientation);
        EXPECT_EQ(properties->exif.has_value(), c.orientation != 0);
        EXPECT_FALSE(properties->hasICCProfile);
    }
}

TEST(ReadPropertiesTest, BadInputGivesNothingAndAHugeHeaderIsNotDecoded) {
    test::ScratchDir dir;
    const QString cases[] = {
        dir.filePath(u"absent.png"_s),
        dir.writeFile(u"empty.png"_s, {}),
        dir.writeFile(u"notes.png"_s, "just some words\nand more\n"),
        dir.writeFile(u"signature-only.png"_s, PngBuilder::signature()),
        dir.path(),
        QString(),
    };
    for (const QString& path : cases)
        EXPECT_FALSE(ImageServices::readProperties(path).has_value()) << path.toStdString();

    // Only a header and an empty image stream: reading properties must not try to allocate
    // or decode 10^10 pixels.
    const QByteArray bomb = PngBuilder::signature() + PngBuilder::ihdr(100000, 100000, 8, 2) +
                            PngBuilder::chunk("IDAT", qCompress(QByteArray(16, '\0')).mid(4)) +
                            PngBuilder::chunk("IEND", {});
    const auto properties = ImageServices::readProperties(dir.writeFile(u"bomb.png"_s, bomb));
    if (properties) {
        EXPECT_EQ(qint64(properties->pixelWidth) * properties->pixelHeight, 10'000'000'000LL);
    }
}

} // namespace
} // namespace glintwork
