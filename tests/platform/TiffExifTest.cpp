#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
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

using test::expectSamePixels;
using test::ScratchDir;

// Tags of the EXIF sub-IFD the tests put in and look for.
constexpr std::uint16_t exposureTime = 0x829A;
constexpr std::uint16_t isoSpeedRatings = 0x8827;
constexpr std::uint16_t exifVersion = 0x9000;
constexpr std::uint16_t dateTimeOriginal = 0x9003;
constexpr std::uint16_t exposureBias = 0x9204;
constexpr std::uint16_t userComment = 0x9286;
constexpr std::uint16_t pixelXDimension = 0xA002;
constexpr std::uint16_t unknownToLibtiff = 0xC4A5; // a private tag no EXIF table lists

struct BlobEntry {
    std::uint16_t tag;
    std::uint16_t type;
    std::uint32_t count;
    QByteArray value; // already in the block's byte order
};

void put16(QByteArray& out, std::uint16_t v, bool little) {
    out.append(char(little ? v & 0xFF : v >> 8));
    out.append(char(little ? v >> 8 : v & 0xFF));
}
void put32(QByteArray& out, std::uint32_t v, bool little) {
    for (int i = 0; i < 4; ++i)
        out.append(char((v >> (little ? 8 * i : 8 * (3 - i))) & 0xFF));
}
QByteArray u16(std::uint16_t v, bool little) {
    QByteArray out;
    put16(out, v, little);
    return out;
}
QByteArray u32s(std::initializer_list<std::uint32_t> values, bool little) {
    QByteArray out;
    for (const std::uint32_t v : values)
        put32(out, v, little);
    return out;
}

// A raw EXIF block the way cameras lay it out: "Exif\0\0", header, IFD0 holding Make and the
// EXIF pointer, the EXIF directory, then the long values.
QByteArray exifBlock(const std::vector<BlobEntry>& exifEntries, bool little) {
    QByteArray tiff(little ? "II" : "MM");
    put16(tiff, 42, little);
    put32(tiff, 8, little);
    const std::uint32_t ifd0Size = 2 + 2 * 12 + 4;
    const std::uint32_t exifAt = 8 + ifd0Size + 8; // "Glint\0" padded, after IFD0
    put16(tiff, 2, little);
    put16(tiff, 0x010F, little); // Make
    put16(tiff, 2, little);
    put32(tiff, 6, little);
    put32(tiff, 8 + ifd0Size, little);
    put16(tiff, 0x8769, little);
    put16(tiff, 4, little);
    put32(tiff, 1, little);
    put32(tiff, exifAt, little);
    put32(tiff, 0, little);
    tiff.append("Glint\0\0\0", 8);

    const std::uint32_t dataAt = exifAt + 2 + std::uint32_t(exifEntries.size()) * 12 + 4;
    QByteArray data;
    put16(tiff, std::uint16_t(exifEntries.size()), little);
    for (const BlobEntry& entry : exifEntries) {
        put16(tiff, entry.tag, little);
        put16(tiff, entry.type, little);
        put32(tiff, entry.count, little);
        if (entry.value.size() <= 4) {
            QByteArray inline4 = entry.value;
            inline4.resize(4, '\0');
            tiff.append(inline4);
        } else {
            put32(tiff, dataAt + std::uint32_t(data.size()), little);
            data.append(entry.value);
        }
    }
    put32(tiff, 0, little);
    return QByteArray("Exif\0\0", 6) + tiff + data;
}

const QByteArray comment = QByteArray("ASCII\0\0\0Glintwork test", 22);

QByteArray cameraExif(bool little) {
    return exifBlock(
        {
            {exposureTime, 5, 1, u32s({1, 250}, little)},
            {isoSpeedRatings, 3, 1, u16(400, little)},
            {exifVersion, 7, 4, QByteArray("0231")},
            {dateTimeOriginal, 2, 20, QByteArray("2024:05:17 09:41:00\0", 20)},
            {exposureBias, 10, 1, u32s({std::uint32_t(-2), 3}, little)},
            {userComment, 7, std::uint32_t(comment.size()), comment},
            {pixelXDimension, 4, 1, u32s({4032}, little)},
            {unknownToLibtiff, 3, 1, u16(7, little)},
        },
        little);
}

// One entry of the EXIF sub-IFD of a block, read back independently of the writer.
struct FoundEntry {
    std::uint16_t type = 0;
    std::uint32_t count = 0;
    QByteArray value;
    bool little = true;

    [[nodiscard]] std::uint32_t u32At(int index) const {
        const auto* b = reinterpret_cast<const unsigned char*>(value.constData()) + 4 * index;
        return little ? b[0] | (b[1] << 8) | (b[2] << 16) | (std::uint32_t(b[3]) << 24)
                      : (std::uint32_t(b[0]) << 24) | (b[1] << 16) | (b[2] << 8) | b[3];
    }
    [[nodiscard]] std::uint16_t u16At() const {
        const auto* b = reinterpret_cast<const unsigned char*>(value.constData());
        return little ? std::uint16_t(b[0] | (b[1] << 8)) : std::uint16_t((b[0] << 8) | b[1]);
    }
};

std::optional<FoundEntry> findExifEntry(const QByteArray& exif, std::uint16_t wanted) {
    if (!exif.startsWith(QByteArray("Exif\0\0", 6)) || exif.size() < 14)
        return std::nullopt;
    const QByteArray tiff = exif.mid(6);
    const bool little = tiff.startsWith("II");
    const auto at16 = [&](qsizetype o) {
        FoundEntry e{0, 0, tiff.mid(o, 2), little};
        return e.value.size() == 2 ? std::optional<std::uint16_t>(e.u16At()) : std::nullopt;
    };
    const auto at32 = [&](qsizetype o) {
        FoundEntry e{0, 0, tiff.mid(o, 4), little};
        return e.value.size() == 4 ? std::optional<std::uint32_t>(e.u32At(0)) : std::nullopt;
    };
    const auto find = [&](qsizetype ifd, std::uint16_t tag) -> std::optional<FoundEntry> {
        const auto count = at16(ifd);
        for (int i = 0; count && i < *count; ++i) {
            const qsizetype e = ifd + 2 + 12 * i;
            if (at16(e) != tag)
                continue;
            FoundEntry found{*at16(e + 2), *at32(e + 4), {}, little};
            const int sizes[] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8};
            const qsizetype bytes = qsizetype(found.count) * sizes[found.type < 13 ? found.type : 0];
            found.value = bytes <= 4 ? tiff.mid(e + 8, bytes) : tiff.mid(*at32(e + 8), bytes);
            return found;
        }
        return std::nullopt;
    };
    const auto pointer = find(*at32(4), 0x8769);
    if (!pointer)
        return std::nullopt;
    return find(pointer->u32At(0), wanted);
}

WriteMetadata withExif(std::optional<QByteArray> exif) {
    WriteMetadata metadata;
    metadata.exif = std::move(exif);
    return metadata;
}

Image photo() {
    Image image = Image::make(12, 9, 8, AlphaInfo::none,
                              ColorSpace::fromICC(ImageServices::sRGBProfile(), 3), 3);
    test::fill(image, [](int x, int y, int i) { return (x * 37 + y * 11 + i * 80) % 256; });
    return image;
}

void expectCameraTags(const QByteArray& exif, std::uint32_t pixelWidth = 4032) {
    const auto exposure = findExifEntry(exif, exposureTime);
    ASSERT_TRUE(exposure.has_value());
    EXPECT_EQ(exposure->type, 5);
    EXPECT_NEAR(double(exposure->u32At(0)) / exposure->u32At(1), 1.0 / 250, 1e-7);
    const auto iso = findExifEntry(exif, isoSpeedRatings);
    ASSERT_TRUE(iso.has_value());
    EXPECT_EQ(iso->u16At(), 400);
    const auto version = findExifEntry(exif, exifVersion);
    ASSERT_TRUE(version.has_value());
    EXPECT_EQ(version->value, QByteArray("0231"));
    const auto taken = findExifEntry(exif, dateTimeOriginal);
    ASSERT_TRUE(taken.has_value());
    EXPECT_EQ(taken->type, 2);
    EXPECT_EQ(taken->value, QByteArray("2024:05:17 09:41:00\0", 20));
    const auto bias = findExifEntry(exif, exposureBias);
    ASSERT_TRUE(bias.has_value());
    EXPECT_NEAR(double(std::int32_t(bias->u32At(0))) / std::int32_t(bias->u32At(1)), -2.0 / 3,
                1e-6);
    const auto note = findExifEntry(exif, userComment);
    ASSERT_TRUE(note.has_value());
    EXPECT_EQ(note->type, 7);
    EXPECT_EQ(note->value, comment);
    const auto width = findExifEntry(exif, pixelXDimension);
    ASSERT_TRUE(width.has_value());
    EXPECT_EQ(width->u32At(0), pixelWidth);
}

TEST(TiffExifTest, ExifSubDirectoryAndOtherMetadataSurviveInBothByteOrders) {
    ScratchDir dir;
    const Image image = photo();
    for (const bool little : {true, false}) {
        SCOPED_TRACE(little ? "little-endian block" : "big-endian block");
        const QString path = dir.filePath(QStringLiteral("photo.tif"));
        WriteMetadata metadata;
        metadata.exif = cameraExif(little);
        metadata.orientation = 6;
        metadata.dpiWidth = 300;
        metadata.dpiHeight = 150;
        ImageServices::writeTIFF(image, path, metadata);

        const auto properties = ImageServices::readProperties(path);
        ASSERT_TRUE(properties.has_value());
        ASSERT_TRUE(properties->exif.has_value());
        expectCameraTags(*properties->exif);
        EXPECT_FALSE(findExifEntry(*properties->exif, unknownToLibtiff).has_value())
            << "a tag libtiff does not know is left out";
        EXPECT_EQ(properties->orientation, 6);
        EXPECT_NEAR(properties->dpiWidth.value_or(0), 300, 0.05);
        EXPECT_NEAR(properties->dpiHeight.value_or(0), 150, 0.05);
        EXPECT_TRUE(properties->hasICCProfile);
        const Image decoded = ImageServices::decode(path);
        EXPECT_EQ(decoded.colorSpace.iccProfile, image.colorSpace.iccProfile);
        expectSamePixels(image, decoded);
    }
}

TEST(TiffExifTest, ExifReadFromAJpegCarriesIntoATiffAndOnIntoTheNext) {
    ScratchDir dir;
    const QString jpeg = dir.filePath(QStringLiteral("camera.jpg"));
    WriteMetadata camera;
    camera.exif = cameraExif(false);
    ImageServices::writeJPEG(photo(), jpeg, 0.9, camera);
    const auto source = ImageServices::readProperties(jpeg);
    ASSERT_TRUE(source && source->exif);

    const QString first = dir.filePath(QStringLiteral("first.tif"));
    ImageServices::writeTIFF(photo(), first, withExif(source->exif));
    const auto firstProperties = ImageServices::readProperties(first);
    ASSERT_TRUE(firstProperties && firstProperties->exif);
    // libvips records the JPEG's own width when it writes the block.
    expectCameraTags(*firstProperties->exif, 12);

    // What a TIFF yields is itself a block the writers take.
    const QString second = dir.filePath(QStringLiteral("second.tif"));
    ImageServices::writeTIFF(photo(), second, withExif(firstProperties->exif));
    const auto secondProperties = ImageServices::readProperties(second);
    ASSERT_TRUE(secondProperties && secondProperties->exif);
    expectCameraTags(*secondProperties->exif, 12);
}

TEST(TiffExifTest, AbsentOrEmptyExifWritesNoExifDirectory) {
    ScratchDir dir;
    for (const std::optional<QByteArray>& exif :
         {std::optional<QByteArray>(), std::optional<QByteArray>(QByteArray())}) {
        const QString path = dir.filePath(QStringLiteral("bare.tif"));
        WriteMetadata metadata = withExif(exif);
        metadata.orientation = 3;
        ImageServices::writeTIFF(photo(), path, metadata);
        const auto properties = ImageServices::readProperties(path);
        ASSERT_TRUE(properties.has_value());
        EXPECT_FALSE(properties->exif.has_value());
        EXPECT_EQ(properties->orientation, 3);
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        EXPECT_FALSE(bytes.contains(QByteArray("\x69\x87\x04\x00", 4)))
            << "IFD0 holds no EXIF pointer";
    }
}

// Damaged blocks lose their EXIF (or the entries that are damaged) but never the file.
TEST(TiffExifTest, DamagedExifBlocksAreDroppedAndTheFileIsStillWritten) {
    const QByteArray good = cameraExif(true);
    struct Case {
        const char* name;
        QByteArray exif;
    };
    std::vector<Case> cases = {
        {"prefix only", QByteArray("Exif\0\0", 6)},
        {"not TIFF", QByteArray("Exif\0\0XXXXXXXXXXXXXXXXXXXXXX", 28)},
        {"random bytes", QByteArray(300, '\xA7')},
    };
    QByteArray badIFD0 = good;
    badIFD0[13] = '\x7F'; // IFD0 offset far past the end
    cases.push_back({"IFD0 out of range", badIFD0});
    QByteArray badPointer = good;
    badPointer[6 + 8 + 2 + 12 + 8 + 3] = '\x7F'; // EXIF pointer value
    cases.push_back({"EXIF pointer out of range", badPointer});
    QByteArray hugeCount = good;
    hugeCount[6 + 8 + 30 + 8 + 2 + 4] = '\xFF'; // first EXIF entry's count
    hugeCount[6 + 8 + 30 + 8 + 2 + 7] = '\x7F';
    cases.push_back({"entry count beyond the block", hugeCount});
    QByteArray zeroDenominator = exifBlock({{exposureTime, 5, 1, u32s({1, 0}, true)}}, true);
    cases.push_back({"zero denominator", zeroDenominator});
    QByteArray wrongType = exifBlock({{dateTimeOriginal, 3, 1, u16(5, true)},
                                      {isoSpeedRatings, 2, 4, QByteArray("400\0", 4)},
                                      {exposureTime, 5, 2, u32s({1, 2, 1, 3}, true)}},
                                     true);
    cases.push_back({"types and counts libtiff cannot take", wrongType});
    for (qsizetype length = 1; length < good.size(); length += 3)
        cases.push_back({"truncated", good.left(length)});

    ScratchDir dir;
    const Image image = photo();
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + ", " + std::to_string(c.exif.size()) + " bytes");
        const QString path = dir.filePath(QStringLiteral("damaged.tif"));
        ASSERT_NO_THROW(ImageServices::writeTIFF(image, path, withExif(c.exif)));
        const auto properties = ImageServices::readProperties(path);
        ASSERT_TRUE(properties.has_value());
        // Whatever survived is well-formed and matches the source.
        const auto taken = properties->exif
                               ? findExifEntry(*properties->exif, dateTimeOriginal)
                               : std::nullopt;
        if (taken) {
            EXPECT_EQ(taken->value, QByteArray("2024:05:17 09:41:00\0", 20));
        }
        expectSamePixels(image, ImageServices::decode(path));
    }
}

} // namespace
} // namespace glintwork
