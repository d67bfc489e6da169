#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <QByteArray>
#include <QFile>

#include "platform/ImageServices.h"
#include "support/TestImages.h"
#include "support/TestSupport.h"

namespace glintwork {
namespace {

using namespace Qt::Literals::StringLiterals;
using test::expectSamePixels;

// Tags of the EXIF sub-IFD the tests put in and look for; the last is a private tag no EXIF
// table lists.
enum Tag : std::uint16_t { exposureTime = 0x829A, isoSpeedRatings = 0x8827, exifVersion = 0x9000,
    dateTimeOriginal = 0x9003, exposureBias = 0x9204, userComment = 0x9286,
    pixelXDimension = 0xA002, unknownToLibtiff = 0xC4A5 };

QByteArray numbers(std::initializer_list<std::uint32_t> values, int size, bool little) {
    QByteArray out;
    for (const std::uint32_t value : values)
        for (int i = 0; i < size; ++i)
            out.append(char(value >> 8 * (little ? i : size - 1 - i)));
    return out;
}

std::uint32_t numberAt(const QByteArray& bytes, qsizetype at, int size, bool little) {
    std::uint32_t value = 0;
    for (int i = 0; i < size && at >= 0 && at + size <= bytes.size(); ++i)
        value |= std::uint32_t(std::uint8_t(bytes.at(at + (little ? i : size - 1 - i)))) << 8 * i;
    return value;
}

struct Entry {
    std::uint16_t tag, type;
    std::uint32_t count;
    QByteArray value; // already in the block's byte order
};

// A raw EXIF block the way cameras lay it out: "Exif\0\0", header, IFD0 holding Make and the
// EXIF pointer, the EXIF directory, then the long values.
QByteArray exifBlock(const std::vector<Entry>& entries, bool little) {
    const auto u16 = [&](std::uint32_t v) { return numbers({v}, 2, little); };
    const auto u32 = [&](std::uint32_t v) { return numbers({v}, 4, little); };
    const std::uint32_t exifAt = 8 + 30 + 8;
    QByteArray tiff = QByteArray(little ? "II" : "MM") + u16(42) + u32(8) + u16(2) + u16(0x010F) +
                      u16(2) + u32(6) + u32(38) + u16(0x8769) + u16(4) + u32(1) + u32(exifAt) +
                      u32(0) + QByteArray("Glint\0\0\0", 8) + u16(std::uint32_t(entries.size()));
    const std::uint32_t dataAt = exifAt + 2 + std::uint32_t(entries.size()) * 12 + 4;
    QByteArray data;
    for (const Entry& entry : entries) {
        tiff += u16(entry.tag) + u16(entry.type) + u32(entry.count);
        if (entry.value.size() <= 4) {
            tiff += entry.value + QByteArray(4 - entry.value.size(), '\0');
        } else {
            tiff += u32(dataAt + std::uint32_t(data.size()));
            data += entry.value;
        }
    }
    return QByteArray("Exif\0\0", 6) + tiff + u32(0) + data;
}

const QByteArray comment("ASCII\0\0\0Glintwork test", 22);
const QByteArray taken("2024:05:17 09:41:00\0", 20);

QByteArray cameraExif(bool little) {
    return exifBlock({{exposureTime, 5, 1, numbers({1, 250}, 4, little)},
                      {isoSpeedRatings, 3, 1, numbers({400}, 2, little)},
                      {exifVersion, 7, 4, "0231"},
                      {dateTimeOriginal, 2, 20, taken},
                      {exposureBias, 10, 1, numbers({std::uint32_t(-2), 3}, 4, little)},
                      {userComment, 7, std::uint32_t(comment.size()), comment},
                      {pixelXDimension, 4, 1, numbers({4032}, 4, little)},
                      {unknownToLibtiff, 3, 1, numbers({7}, 2, little)}},
                     little);
}

// One entry of the EXIF sub-IFD of a block, read back independently of the writer: its type,
// its value's bytes and, for a SHORT, LONG, RATIONAL or SRATIONAL, its number.
struct Found {
    std::uint16_t type;
    QByteArray bytes;
    double number;
};

// A PNG's block comes back without the "Exif\0\0" a JPEG's has.
std::optional<Found> findExifEntry(const QByteArray& exif, std::uint16_t wanted) {
    const QByteArray tiff = exif.startsWith(QByteArray("Exif\0\0", 6)) ? exif.mid(6) : exif;
    const bool little = tiff.startsWith("II*");
    const auto at = [&](qsizetype offset, int size) {
        return numberAt(tiff, offset, size, little);
    };
    const auto find = [&](qsizetype ifd, std::uint16_t tag) -> std::optional<Found> {
        for (std::uint32_t i = 0; i < at(ifd, 2); ++i) {
            const qsizetype e = ifd + 2 + 12 * i;
            const std::uint16_t type = at(e + 2, 2);
            const int sizes[] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8};
            const qsizetype bytes = at(e + 4, 4) * sizes[type < 13 ? type : 0];
            const qsizetype v = bytes <= 4 ? e + 8 : at(e + 8, 4);
            const double number = type == 3   ? at(v, 2)
                                  : type == 4 ? at(v, 4)
                                  : type == 5
                                      ? double(at(v, 4)) / at(v + 4, 4)
                                      : double(std::int32_t(at(v, 4))) / std::int32_t(at(v + 4, 4));
            if (at(e, 2) == tag)
                return Found{type, tiff.mid(v, bytes), number};
        }
        return std::nullopt;
    };
    const auto pointer = find(at(4, 4), 0x8769);
    return pointer && (little || tiff.startsWith(QByteArray("MM\0*", 4)))
               ? find(qsizetype(pointer->number), wanted)
               : std::nullopt;
}

void expectCameraTags(const QByteArray& exif, double pixelWidth = 4032) {
    const struct {
        Tag tag;
        std::uint16_t type; // 0: not checked
        double numeric;
        QByteArray bytes;
    } expected[] = {
        {exposureTime, 5, 1.0 / 250, {}},     {isoSpeedRatings, 0, 400, {}},
        {exifVersion, 0, 0, "0231"},          {dateTimeOriginal, 2, 0, taken},
        {exposureBias, 0, -2.0 / 3, {}},      {userComment, 7, 0, comment},
        {pixelXDimension, 0, pixelWidth, {}},
    };
    for (const auto& e : expected) {
        SCOPED_TRACE(testing::Message() << std::hex << e.tag);
        const auto found = findExifEntry(exif, e.tag);
        ASSERT_TRUE(found.has_value());
        EXPECT_TRUE(e.type == 0 || found->type == e.type) << found->type;
        if (e.bytes.isEmpty()) {
            EXPECT_NEAR(found->number, e.numeric, 1e-6);
        } else {
            EXPECT_EQ(found->bytes, e.bytes);
        }
    }
}

Image photo() {
    Image image = test::noiseImage(12, 9, 8, AlphaInfo::none, 3);
    image.colorSpace = ColorSpace::fromICC(ImageServices::sRGBProfile(), 3);
    return image;
}

// Each file's block goes into the next: a camera's, in either byte order, into a TIFF and a
// JPEG, then what the JPEG yields into a TIFF, that one's into a PNG and the PNG's (which
// lacks "Exif\0\0") into a TIFF again. libvips records the JPEG's own width.
TEST(TiffExifTest, ExifAndOtherMetadataSurviveAndCarryOn) {
    test::ScratchDir dir;
    const Image image = photo();
    std::optional<QByteArray> exif = cameraExif(true);
    for (const QString& name : {u"little-endian.tif"_s, u"big-endian.tif"_s, u"camera.jpg"_s,
                                u"from-jpeg.tif"_s, u"from-tiff.png"_s, u"from-png.tif"_s}) {
        SCOPED_TRACE(name.toStdString());
        const QString path = dir.filePath(name);
        const WriteMetadata metadata{6, 300, 150, exif};
        if (name.endsWith(u".png"_s))
            ImageServices::writePNG(image, path, metadata);
        else if (name.endsWith(u".jpg"_s))
            ImageServices::writeJPEG(image, path, 0.9, metadata);
        else
            ImageServices::writeTIFF(image, path, metadata);
        const auto properties = ImageServices::readProperties(path);
        ASSERT_TRUE(properties && properties->exif);
        expectCameraTags(*properties->exif, name.contains(u"endian"_s) ? 4032 : 12);
        EXPECT_FALSE(name.endsWith(u".tif"_s) && findExifEntry(*properties->exif, unknownToLibtiff))
            << "a tag libtiff does not know is left out";
        EXPECT_EQ(properties->orientation, 6);
        EXPECT_NEAR(properties->dpiWidth.value_or(0), 300, 0.05);
        EXPECT_NEAR(properties->dpiHeight.value_or(0), 150, 0.05);
        EXPECT_LE(test::contents(path).count("eXIf"), 1) << "a PNG may hold one eXIf chunk";
        exif = name.endsWith(u"endian.tif"_s) ? cameraExif(false) : properties->exif;
    }
}

// Damaged blocks lose their EXIF (or the entries that are damaged) but never the file or its
// other metadata; an absent or empty block writes no EXIF directory at all.
TEST(TiffExifTest, AbsentEmptyOrDamagedExifNeverLosesTheFile) {
    const QByteArray good = cameraExif(true);
    struct Case {
        std::string name;
        std::optional<QByteArray> exif;
    };
    std::vector<Case> cases = {
        {"absent", std::nullopt},
        {"empty", QByteArray()},
        {"prefix only", QByteArray("Exif\0\0", 6)},
        {"not TIFF", QByteArray("Exif\0\0XXXXXXXXXXXXXXXXXXXXXX", 28)},
        {"random bytes", QByteArray(300, '\xA7')},
        {"zero denominator", exifBlock({{exposureTime, 5, 1, numbers({1, 0}, 4, true)}}, true)},
        {"types and counts libtiff cannot take",
         exifBlock({{dateTimeOriginal, 3, 1, numbers({5}, 2, true)},
                    {isoSpeedRatings, 2, 4, QByteArray("400\0", 4)},
                    {exposureTime, 5, 2, QByteArray(16, '\1')}},
                   true)},
    };
    const auto damaged = [&](const char* name, std::initializer_list<std::pair<int, char>> edits) {
        QByteArray exif = good;
        for (const auto& [at, byte] : edits)
            exif[at] = byte;
        cases.push_back({name, exif});
    };
    damaged("IFD0 out of range", {{6 + 7, '\x7F'}});
    damaged("EXIF pointer out of range", {{6 + 8 + 2 + 12 + 8 + 3, '\x7F'}});
    damaged("entry count beyond the block", {{6 + 46 + 2 + 4, '\xFF'}, {6 + 46 + 2 + 7, '\x7F'}});
    for (qsizetype length = 1; length < good.size(); length += 3)
        cases.push_back({"truncated to " + std::to_string(length), good.left(length)});

    test::ScratchDir dir;
    const Image image = photo();
    const QString path = dir.filePath(u"damaged.tif"_s);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_NO_THROW(ImageServices::writeTIFF(image, path, {3, {}, {}, c.exif}));
        const auto properties = ImageServices::readProperties(path);
        ASSERT_TRUE(properties.has_value());
        EXPECT_EQ(properties->orientation, 3);
        // Whatever survived is well-formed and matches the source.
        const auto date =
            properties->exif ? findExifEntry(*properties->exif, dateTimeOriginal) : std::nullopt;
        EXPECT_TRUE(!date || date->bytes == taken);
        expectSamePixels(image, ImageServices::decode(path));
        if (!c.exif || c.exif->isEmpty()) {
            EXPECT_FALSE(properties->exif.has_value());
            EXPECT_FALSE(test::contents(path).contains(QByteArray("\x69\x87\x04\x00", 4)))
                << "IFD0 holds no EXIF pointer";
        }
    }
}

} // namespace
} // namespace glintwork
