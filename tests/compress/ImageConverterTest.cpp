#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <exception>
#include <memory>
#include <optional>
#include <thread>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QStringList>

#include "batch/FileService.h"
#include "compress/ConversionError.h"
#include "compress/ImageConverter.h"
#include "compress/ToolManager.h"
#include "platform/CancellationToken.h"
#include "platform/ImageServices.h"
#include "platform/Orientation.h"
#include "platform/Resources.h"
#include "compress/PNGQuantizer.h"
#include "support/TestImages.h"
#include "support/TestSupport.h"

// The converter end to end, with the encoders the build links into Resources/bin, and with
// shell-script stand-ins where a test must see the command lines or provoke a failure.
namespace glintwork {
namespace {

using namespace std::chrono_literals;
using test::gradient;
using test::psnr;
using test::quadrants;

// A GIF (which no helper encoder reads) of 8 × 8 blocks from a 128-colour palette. Codes
// are 8 bits wide and the table is cleared every 64 pixels, so the LZW stream is just the
// palette indices with clear codes in between.
QByteArray gifBytes(int width, int height, Image* expected) {
    const auto paletteColour = [](int i) {
        return std::array<std::uint8_t, 3>{std::uint8_t(i * 2), std::uint8_t(255 - i * 2),
                                           std::uint8_t((i * 37) % 256)};
    };
    QByteArray gif("GIF89a");
    const auto le16 = [&gif](int v) {
        gif.append(char(v & 0xFF));
        gif.append(char(v >> 8));
    };
    le16(width);
    le16(height);
    gif.append(char(0xE6)); // global table of 2^(6+1) colours
    gif.append('\0');
    gif.append('\0');
    for (int i = 0; i < 128; ++i)
        for (const std::uint8_t c : paletteColour(i))
            gif.append(char(c));
    gif.append(char(0x2C));
    le16(0);
    le16(0);
    le16(width);
    le16(height);
    gif.append('\0');
    gif.append(char(7)); // minimum code size: clear = 128, end = 129

    *expected = Image::make(width, height, 8, AlphaInfo::none, ColorSpace::sRGB(), 3);
    QByteArray codes;
    int sinceClear = 64;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            if (sinceClear == 64) {
                codes.append(char(128));
                sinceClear = 0;
            }
            const int index = (x / 8 + (y / 8) * 5) % 128;
            codes.append(char(index));
            ++sinceClear;
            const auto colour = paletteColour(index);
            std::copy(colour.begin(), colour.end(), expected->row(y) + 3 * x);
        }
    }
    codes.append(char(129));
    for (qsizetype at = 0; at < codes.size(); at += 255) {
        const QByteArray block = codes.mid(at, 255);
        gif.append(char(block.size()));
        gif.append(block);
    }
    gif.append('\0');
    gif.append(char(0x3B));
    return gif;
}

// An ICC profile that Debian installs with Ghostscript (libgs10-common): a98.icc (Adobe
// RGB), rommrgb.icc (ProPhoto), default_cmyk.icc. Empty when it is not installed.
QByteArray installedProfile(const QString& name) {
    for (const QString& version : QDir(QStringLiteral("/usr/share/ghostscript"))
                                      .entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile file(QStringLiteral("/usr/share/ghostscript/%1/iccprofiles/%2").arg(version, name));
        if (file.open(QIODevice::ReadOnly))
            return file.readAll();
    }
    return {};
}

std::string formatName(const ::testing::TestParamInfo<OutputFormat>& info) {
    return rawValue(info.param).toStdString();
}

QString shellQuoted(const QString& text) {
    QString quoted = text;
    quoted.replace(QLatin1Char('\''), QStringLiteral("'\\''"));
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

class ImageConverterTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_realBin = Resources::path(QStringLiteral("bin")).value_or(QString());
        // Temporary files go to a folder of this test's own, so leftovers can be counted.
        m_tmp = m_scratch.filePath(QStringLiteral("tmp"));
        QDir().mkpath(m_tmp);
        const QByteArray tmp = QFile::encodeName(m_tmp);
        m_tmpOverride = std::make_unique<test::EnvironmentOverride>("TMPDIR", &tmp);
        m_inputs = m_scratch.filePath(QStringLiteral("in"));
        QDir().mkpath(m_inputs);
        m_out = m_scratch.filePath(QStringLiteral("out"));
    }

    // The names among `tools` that the build did not install.
    [[nodiscard]] QString missingRealTools(const QStringList& tools) const {
        QStringList missing;
        for (const QString& tool : tools) {
            if (m_realBin.isEmpty() ||
                !QFileInfo(m_realBin + QLatin1Char('/') + tool).isExecutable())
                missing << tool;
        }
        return missing.join(QStringLiteral(", "));
    }

    [[nodiscard]] QString realTool(const QString& name) const {
        return m_realBin + QLatin1Char('/') + name;
    }

    // Makes a resource folder of this test's own current; its bin/ starts empty.
    // The previous one goes first: it puts back the folder that was current before it.
    void useFakeResources() {
        m_fake.reset();
        m_fake = std::make_unique<test::FakeResources>();
    }

    // A stand-in encoder: a shell script that first records its arguments, one a line.
    void addScript(const QString& name, const QString& body) const {
        m_fake->addScript(name, "printf '%s\\n' \"$@\" > " +
                                    QFile::encodeName(shellQuoted(argumentsFile(name))) + "\n" +
                                    body.toUtf8());
    }

    [[nodiscard]] QString argumentsFile(const QString& tool) const {
        return m_scratch.filePath(tool + QStringLiteral(".args"));
    }

    [[nodiscard]] QStringList recordedArguments(const QString& tool) const {
        QFile file(argumentsFile(tool));
        if (!file.open(QIODevice::ReadOnly))
            return {};
        QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
        if (!lines.isEmpty() && lines.last().isEmpty())
            lines.removeLast();
        return lines;
    }

    QString writeInput(const QString& name, const Image& image) const {
        const QString path = m_inputs + QLatin1Char('/') + name;
        const QString suffix = QFileInfo(name).suffix().toLower();
        if (suffix == QLatin1String("png"))
            ImageServices::writePNG(image, path);
        else if (suffix == QLatin1String("jpg") || suffix == QLatin1String("jpeg"))
            ImageServices::writeJPEG(image, path, 0.95);
        else if (suffix == QLatin1String("tif") || suffix == QLatin1String("tiff"))
            ImageServices::writeTIFF(image, path);
        else
            ADD_FAILURE() << "no writer for " << name.toStdString();
        return path;
    }

    QUrl convert(const QString& input, OutputFormat format, int quality = 80,
                 std::optional<int> maxWidth = std::nullopt,
                 std::optional<int> maxHeight = std::nullopt,
                 const std::optional<QUrl>& custom = std::nullopt,
                 const QSet<QUrl>& reserved = {}) {
        return ImageConverter::convert(QUrl::fromLocalFile(input), QUrl::fromLocalFile(m_out),
                                       format, quality, maxWidth, maxHeight, custom, m_token,
                                       reserved);
    }

    // Regular files left in the temporary folder, and hidden files in the output folder.
    [[nodiscard]] QStringList leftovers() const {
        QStringList found;
        for (const QString& name : QDir(m_tmp).entryList(QDir::Files | QDir::Hidden | QDir::System))
            found << QStringLiteral("tmp/") + name;
        for (const QString& name : QDir(m_out).entryList(QDir::Files | QDir::Hidden | QDir::System |
                                                         QDir::NoDotAndDotDot)) {
            if (name.startsWith(QLatin1Char('.')))
                found << QStringLiteral("out/") + name;
        }
        return found;
    }

    [[nodiscard]] QStringList outputFiles() const {
        return QDir(m_out).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    }

    static Image decodeUpright(const QString& path) {
        const auto properties = ImageServices::readProperties(path);
        return applyOrientation(ImageServices::decode(path),
                                properties ? properties->orientation.value_or(1) : 1);
    }

    test::ScratchDir m_scratch;
    std::unique_ptr<test::EnvironmentOverride> m_tmpOverride;
    std::unique_ptr<test::FakeResources> m_fake;
    CancellationToken m_token;
    QString m_realBin;
    QString m_tmp;
    QString m_inputs;
    QString m_out;
};

#define REQUIRE_REAL_TOOLS(...)                                                                    \
    do {                                                                                           \
        if (const QString missing = missingRealTools({__VA_ARGS__}); !missing.isEmpty())           \
            GTEST_SKIP() << "encoder not installed in Resources/bin: " << missing.toStdString();   \
    } while (0)

QStringList toolsFor(OutputFormat format) {
    switch (format) {
    case OutputFormat::webp:
        return {QStringLiteral("cwebp")};
    case OutputFormat::jpeg:
        return {QStringLiteral("cjpeg")};
    case OutputFormat::avif:
        return {QStringLiteral("avifenc")};
    case OutputFormat::heic:
        return {QStringLiteral("glintwork-heic-encoder")};
    case OutputFormat::png:
        return {};
    }
    return {};
}

// --- Every format, end to end ----------------------------------------------------------

class ConvertEachFormat : public ImageConverterTest,
                          public ::testing::WithParamInterface<OutputFormat> {};

TEST_P(ConvertEachFormat, WritesTheFormatAtFullSize) {
    const OutputFormat format = GetParam();
    REQUIRE_REAL_TOOLS(toolsFor(format));
    const Image source = gradient(96, 64);
    const QString input = writeInput(QStringLiteral("photo.png"), source);

    const QUrl output = convert(input, format, 90);

    EXPECT_EQ(output,
              QUrl::fromLocalFile(m_out + QStringLiteral("/photo.") + fileExtension(format)));
    const Image decoded = ImageServices::decode(output.toLocalFile());
    EXPECT_EQ(decoded.width, 96);
    EXPECT_EQ(decoded.height, 64);
    EXPECT_GT(psnr(decoded, source), 28.0);
    EXPECT_EQ(outputFiles(), QStringList{QFileInfo(output.toLocalFile()).fileName()});
    EXPECT_EQ(leftovers(), QStringList());
}

// Limits 1000 / none on 4000 × 3000 and the like, on small images of the same shapes.
TEST_P(ConvertEachFormat, SizeLimitsShrinkButNeverEnlarge) {
    const OutputFormat format = GetParam();
    REQUIRE_REAL_TOOLS(toolsFor(format));
    const QString wide = writeInput(QStringLiteral("wide.png"), gradient(160, 120));
    const QString tall = writeInput(QStringLiteral("tall.png"), gradient(3, 1000));
    const struct {
        QString input;
        std::optional<int> maxWidth;
        std::optional<int> maxHeight;
        int width;
        int height;
    } cases[] = {
        {wide, 40, std::nullopt, 40, 30},   {wide, 40, 40, 40, 30},
        {wide, 320, 320, 160, 120},         {wide, 0, std::nullopt, 160, 120},
        {wide, -3, std::nullopt, 160, 120}, {wide, std::nullopt, 120, 160, 120},
        {tall, 1, std::nullopt, 1, 333},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(QFileInfo(c.input).fileName().toStdString() + " " +
                     std::to_string(c.maxWidth.value_or(-99)) + "x" +
                     std::to_string(c.maxHeight.value_or(-99)));
        const QUrl output = convert(c.input, format, 80, c.maxWidth, c.maxHeight);
        const auto properties = ImageServices::readProperties(output.toLocalFile());
        ASSERT_TRUE(properties);
        EXPECT_EQ(properties->pixelWidth, c.width);
        EXPECT_EQ(properties->pixelHeight, c.height);
        QFile::remove(output.toLocalFile());
    }
    EXPECT_EQ(leftovers(), QStringList());
}

// A photo stored sideways (EXIF orientation 6) comes out upright in every format, and a
// limit applies to the upright size.
TEST_P(ConvertEachFormat, OrientedInputComesOutUpright) {
    const OutputFormat format = GetParam();
    REQUIRE_REAL_TOOLS(toolsFor(format));
    const QString input = m_inputs + QStringLiteral("/sideways.jpg");
    WriteMetadata metadata;
    metadata.orientation = 6;
    ImageServices::writeJPEG(quadrants(64, 48), input, 0.95, metadata);
    ASSERT_EQ(ImageServices::readProperties(input)->orientation, 6);
    const Image upright = decodeUpright(input);
    ASSERT_EQ(upright.width, 48);

    const struct {
        std::optional<int> maxHeight;
        int width;
        int height;
    } cases[] = {{std::nullopt, 48, 64}, {32, 24, 32}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.height);
        const QUrl output = convert(input, format, 90, std::nullopt, c.maxHeight);
        const QString path = output.toLocalFile();
        const auto properties = ImageServices::readProperties(path);
        ASSERT_TRUE(properties);
        EXPECT_EQ(properties->orientation.value_or(1), 1);
        const Image stored = ImageServices::decode(path);
        ASSERT_EQ(stored.width, c.width);
        ASSERT_EQ(stored.height, c.height);
        const Image expected = c.width == upright.width
                                   ? upright
                                   : ImageServices::downscale(upright, c.width, c.height);
        EXPECT_GT(psnr(stored, expected), 25.0);
        QFile::remove(path);
    }
    EXPECT_EQ(leftovers(), QStringList());
}

// Every encoder gets sRGB numbers: whether the input's profile is dropped (cwebp,
// avifenc) or CMYK cannot be read at all, the output looks like the input.
TEST_P(ConvertEachFormat, ForeignProfilesComeOutAsSeen) {
    const OutputFormat format = GetParam();
    REQUIRE_REAL_TOOLS(toolsFor(format));
    const struct {
        const char* profile;
        const char* file;
    } cases[] = {
        {"a98.icc", "adobe.jpg"},         {"a98.icc", "adobe.png"},
        {"rommrgb.icc", "prophoto.jpg"},  {"rommrgb.icc", "prophoto.png"},
        {"default_cmyk.icc", "cmyk.jpg"},
    };
    for (const auto& c : cases) {
        const QByteArray profile = installedProfile(QLatin1String(c.profile));
        if (profile.isEmpty())
            GTEST_SKIP() << c.profile << " is not installed (Debian package libgs10-common)";
        const bool cmyk = QByteArray(c.profile).contains("cmyk");
        const int components = cmyk ? 4 : 3;
        // Smooth ramps that lossy encoders keep well, stored in the profile's own numbers.
        Image stored = Image::make(128, 96, 8, AlphaInfo::none,
                                   ColorSpace::fromICC(profile, components), components);
        for (int y = 0; y < stored.height; ++y) {
            std::uint8_t* p = stored.row(y);
            for (int x = 0; x < stored.width; ++x, p += components) {
                p[0] = std::uint8_t(60 + x * 120 / 127);
                p[1] = std::uint8_t(60 + y * 120 / 95);
                p[2] = std::uint8_t(180 - (x + y) * 120 / 222);
                if (cmyk)
                    p[3] = 20;
            }
        }
        const QString input = writeInput(QLatin1String(c.file), stored);
        const Image seen = ImageServices::decode(input);

        const QUrl output = convert(input, format, 90);
        EXPECT_GE(psnr(ImageServices::decode(output.toLocalFile()), seen), 30.0) << c.file;
        QFile::remove(output.toLocalFile());
    }
    EXPECT_EQ(leftovers(), QStringList());
}

// A file cut short, or one that is not a regular file, fails: no encoder may make up the
// missing part or wait for data that never comes.
TEST_P(ConvertEachFormat, TruncatedOrNonRegularInputFails) {
    const OutputFormat format = GetParam();
    REQUIRE_REAL_TOOLS(toolsFor(format));
    QStringList inputs;
    for (const QString& name : {QStringLiteral("cut.jpg"), QStringLiteral("cut.png")}) {
        const QString path = writeInput(name, gradient(256, 192));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        ASSERT_TRUE(file.resize(file.size() / 2));
        inputs << path;
    }
    inputs << m_inputs + QStringLiteral("/pipe.png");
    ASSERT_EQ(::mkfifo(QFile::encodeName(inputs.last()).constData(), 0600), 0);
    for (const QString& input : inputs) {
        EXPECT_THROW((void)convert(input, format), DescribedError) << input.toStdString();
        EXPECT_EQ(outputFiles(), QStringList());
    }
    EXPECT_EQ(leftovers(), QStringList());
}

// Whatever the encoder says about it, a full disk is reported as one.
TEST_P(ConvertEachFormat, FullDiskSaysSo) {
    const OutputFormat format = GetParam();
    REQUIRE_REAL_TOOLS(toolsFor(format));
    const test::SmallDisk disk(m_scratch);
    if (!disk.isMounted())
        GTEST_SKIP() << "mounting a small tmpfs needs root";
    Image noise = Image::make(600, 600, 8, AlphaInfo::none, ColorSpace::sRGB(), 3);
    std::uint32_t state = 7;
    for (auto& byte : noise.pixels) {
        state = state * 1664525u + 1013904223u;
        byte = std::uint8_t(state >> 24);
    }
    const QString input = writeInput(QStringLiteral("noise.png"), noise);
    m_out = disk.path();
    try {
        (void)convert(input, format, 90);
        ADD_FAILURE() << "written to a full disk";
    } catch (const DescribedError& error) {
        EXPECT_TRUE(error.description().contains(QStringLiteral("No space left on device")))
            << error.description().toStdString();
    }
    EXPECT_EQ(outputFiles(), QStringList());
    EXPECT_EQ(leftovers(), QStringList());
}

INSTANTIATE_TEST_SUITE_P(Formats, ConvertEachFormat,
                         ::testing::Values(OutputFormat::webp, OutputFormat::jpeg,
                                           OutputFormat::png, OutputFormat::heic,
                                           OutputFormat::avif),
                         formatName);

TEST_F(ImageConverterTest, HeicQualityReachesTheEncoder) {
    const QString input = writeInput(QStringLiteral("photo.png"), gradient(128, 96));
    const QUrl low = convert(input, OutputFormat::heic, 5);
    const QUrl high = convert(input, OutputFormat::heic, 95);
    EXPECT_EQ(QFileInfo(high.toLocalFile()).fileName(), QStringLiteral("photo-1.heic"));
    EXPECT_LT(QFileInfo(low.toLocalFile()).size(), QFileInfo(high.toLocalFile()).size());
}

// --- Naming ----------------------------------------------------------------------------

TEST_F(ImageConverterTest, OverlongNamesAreShortenedKeepingTheirEnd) {
    const QString stem = QString(200, QLatin1Char('a')) + QString(30, QLatin1Char('b'));
    const QString input = writeInput(QStringLiteral("short.png"), gradient(16, 16));
    const QString longName = m_out + QLatin1Char('/') + stem + QStringLiteral("-small.png");
    for (const char* expectedEnd : {"b-small.png", "b-small-1.png"}) {
        const QUrl output = convert(input, OutputFormat::png, 80, std::nullopt, std::nullopt,
                                    QUrl::fromLocalFile(longName));
        const QString name = QFileInfo(output.toLocalFile()).fileName();
        EXPECT_LE(QFile::encodeName(name).size(), 255);
        EXPECT_TRUE(name.startsWith(QStringLiteral("aaaa")) &&
                    name.endsWith(QLatin1String(expectedEnd)))
            << name.toStdString();
    }
    EXPECT_EQ(leftovers(), QStringList());
}

TEST_F(ImageConverterTest, OriginalNamingNumbersPastTakenAndReservedNames) {
    REQUIRE_REAL_TOOLS(QStringLiteral("cwebp"));
    const QString png = writeInput(QStringLiteral("photo.png"), gradient(32, 24));
    // The WebP input sits in the output folder, as when converting a folder in place.
    m_out = m_inputs;
    const QString webp = convert(png, OutputFormat::webp).toLocalFile();
    ASSERT_EQ(QFileInfo(webp).fileName(), QStringLiteral("photo.webp"));

    EXPECT_EQ(QFileInfo(convert(webp, OutputFormat::webp).toLocalFile()).fileName(),
              QStringLiteral("photo-1.webp"));
    EXPECT_EQ(QFileInfo(convert(webp, OutputFormat::webp).toLocalFile()).fileName(),
              QStringLiteral("photo-2.webp"));
    // Names handed out to other items of the run count as taken.
    const QSet<QUrl> reserved{QUrl::fromLocalFile(m_out + QStringLiteral("/photo-3.webp"))};
    EXPECT_EQ(QFileInfo(convert(webp, OutputFormat::webp, 80, std::nullopt, std::nullopt,
                                std::nullopt, reserved)
                            .toLocalFile())
                  .fileName(),
              QStringLiteral("photo-4.webp"));
}

TEST_F(ImageConverterTest, CustomOutputIsUsedAndTheFolderCreated) {
    REQUIRE_REAL_TOOLS(QStringLiteral("cjpeg"));
    const QString input = writeInput(QStringLiteral("photo.png"), gradient(32, 24));
    m_out = m_scratch.filePath(QStringLiteral("deep/er/out"));
    const QUrl custom = QUrl::fromLocalFile(m_out + QStringLiteral("/image-01.jpg"));
    EXPECT_EQ(convert(input, OutputFormat::jpeg, 80, std::nullopt, std::nullopt, custom), custom);
    EXPECT_TRUE(QFileInfo(custom.toLocalFile()).isFile());
}

// --- What each helper executable is given ---------------------------------------------

// Which file each encoder reads (the input itself, or a temporary PNG or TGA when it cannot
// read the input or a size limit applies) and where it writes (a hidden file beside the
// output, which then takes its name). In the expected lists "<input>", "<tmp.png>",
// "<tmp.tga>" and "<part>" stand for those paths.
TEST_F(ImageConverterTest, EachEncoderGetsItsCommandLine) {
    using enum OutputFormat;
    Image gifPixels;
    const QString gif =
        m_scratch.writeFile(QStringLiteral("in/anim.gif"), gifBytes(40, 24, &gifPixels));
    const QString tiff = writeInput(QStringLiteral("scan.TIF"), gradient(40, 30));
    const QString photo = writeInput(QStringLiteral("photo.png"), gradient(64, 48));
    // oxipng is a stand-in that does nothing; the others are the build's encoders behind
    // the recording script.
    const struct {
        const char* tool;
        QString input;
        OutputFormat format;
        int quality;
        std::optional<int> maxWidth;
        const char* expected;
    } cases[] = {
        {"cwebp", tiff, webp, 70, {}, "-q 70 -m 6 <input> -o <part>"},
        {"cwebp", gif, webp, 90, 20, "-q 90 -m 6 -resize 20 12 <tmp.png> -o <part>"},
        {"avifenc", photo, avif, 80, {}, "--min 12 --max 12 --speed 4 <input> <part>"},
        {"avifenc", photo, avif, 50, 32, "--min 31 --max 31 --speed 4 <tmp.png> <part>"},
        {"cjpeg", photo, jpeg, 85, {}, "-quality 85 -optimize -progressive -targa <tmp.tga>"},
        {"oxipng", photo, png, 80, {}, "-o 4 --strip safe <part>"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.tool) + " " + QFileInfo(c.input).fileName().toStdString());
        const QString tool = QLatin1String(c.tool);
        const bool real = tool != QLatin1String("oxipng");
        if (real && !missingRealTools({tool}).isEmpty())
            continue;
        useFakeResources();
        addScript(tool, real ? QStringLiteral("exec ") + shellQuoted(realTool(tool)) +
                                   QStringLiteral(" \"$@\"")
                             : QStringLiteral("exit 0"));
        const QUrl output = convert(c.input, c.format, c.quality, c.maxWidth);

        const QStringList arguments = recordedArguments(tool);
        const QStringList expected = QString::fromUtf8(c.expected).split(u' ');
        ASSERT_EQ(arguments.size(), expected.size()) << arguments.join(u' ').toStdString();
        for (qsizetype k = 0; k < arguments.size(); ++k) {
            const QFileInfo file(arguments[k]);
            if (expected[k] == QLatin1String("<input>")) {
                EXPECT_EQ(arguments[k], c.input);
            } else if (expected[k].startsWith(QLatin1String("<tmp."))) {
                EXPECT_EQ(file.absolutePath(), m_tmp);
                EXPECT_EQ(file.suffix(), expected[k].mid(5, 3));
                EXPECT_FALSE(file.exists());
            } else if (expected[k] == QLatin1String("<part>")) {
                EXPECT_EQ(file.absolutePath(), m_out);
                EXPECT_TRUE(file.fileName().startsWith(QLatin1Char('.')));
            } else {
                EXPECT_EQ(arguments[k], expected[k]) << "argument " << k;
            }
        }
        const QString name = QFileInfo(c.input).completeBaseName() + QLatin1Char('.');
        EXPECT_EQ(output.toLocalFile(), m_out + QLatin1Char('/') + name + fileExtension(c.format));
        // A flip, a swap of channels or a wrong size scores far lower.
        const Image decoded = ImageServices::decode(output.toLocalFile());
        const Image source = c.input == gif ? gifPixels : ImageServices::decode(c.input);
        EXPECT_GT(psnr(decoded, ImageServices::downscale(source, decoded.width, decoded.height)),
                  20.0);
        EXPECT_EQ(leftovers(), QStringList());
        QFile::remove(output.toLocalFile());
    }
}

TEST_F(ImageConverterTest, WithoutOxipngThePNGIsTheQuantizersOwn) {
    useFakeResources();
    const QString input = writeInput(QStringLiteral("photo.png"), gradient(48, 32));
    const QString direct = m_scratch.filePath(QStringLiteral("direct.png"));
    PNGQuantizer::quantize(input, direct, 80, std::nullopt, std::nullopt);

    const QUrl output = convert(input, OutputFormat::png);

    QFile a(direct);
    QFile b(output.toLocalFile());
    ASSERT_TRUE(a.open(QIODevice::ReadOnly));
    ASSERT_TRUE(b.open(QIODevice::ReadOnly));
    // The quantizer is deterministic, so "unchanged" can be checked byte for byte.
    EXPECT_EQ(a.readAll(), b.readAll());
}

TEST_F(ImageConverterTest, RealOxipngKeepsThePixels) {
    REQUIRE_REAL_TOOLS(QStringLiteral("oxipng"));
    const QString input = writeInput(QStringLiteral("photo.png"), gradient(48, 32));
    const QString direct = m_scratch.filePath(QStringLiteral("direct.png"));
    PNGQuantizer::quantize(input, direct, 80, std::nullopt, std::nullopt);

    const QUrl output = convert(input, OutputFormat::png);
    EXPECT_EQ(psnr(ImageServices::decode(output.toLocalFile()), ImageServices::decode(direct)),
              99.0);
    EXPECT_EQ(leftovers(), QStringList());
}

// --- Failures --------------------------------------------------------------------------

// Each failure carries its own text, and no output, part file or temporary file stays.
TEST_F(ImageConverterTest, FailuresSayWhatWentWrongAndLeaveNothing) {
    using enum OutputFormat;
    // Writes something where the output should go, then fails.
    const char* failing =
        "for last; do :; done\nprintf partial > \"$last\"\necho 'bad input' >&2\nexit 1";
    const char* failingToStdout = "printf partial\necho 'bad input' >&2\nexit 1";
    const QString file = m_scratch.writeFile(QStringLiteral("plain-file"), "x");
    const QString below = file + QStringLiteral("/sub");
    const QString missing =
        QStringLiteral("CLI tool 'cwebp' not found. Place binaries in Resources/bin/.");
    const QString exitText = QStringLiteral("Process exited with code 1: bad input\n");
    const QString decodeText = QStringLiteral("Image decoding failed");
    const QString notCreated = QStringLiteral("Output file was not created");
    const QString noFolder = QStringLiteral("Could not create the folder");
    const QString noWrite = QStringLiteral("Could not write to the folder");
    const struct {
        const char* name;
        const char* input; // "png", "gif" (read through a temporary PNG) or "broken"
        OutputFormat format;
        std::optional<int> maxWidth;
        const char* tool; // a stand-in with `script` as its body; nullptr: the build's encoders
        const char* script;
        QString out; // output folder when not the default
        QString message;
    } cases[] = {
        {"missing cwebp", "png", webp, {}, "", "", {}, missing},
        {"cwebp fails", "gif", webp, {}, "cwebp", failing, {}, exitText},
        {"avifenc fails", "gif", avif, {}, "avifenc", failing, {}, exitText},
        {"cjpeg fails", "gif", jpeg, {}, "cjpeg", failingToStdout, {}, exitText},
        {"oxipng fails", "gif", png, {}, "oxipng", failing, {}, exitText},
        {"encoder writes nothing", "png", webp, {}, "cwebp", "exit 0", {}, notCreated},
        {"broken to heic", "broken", heic, {}, nullptr, "", {}, decodeText},
        {"broken to jpeg", "broken", jpeg, {}, nullptr, "", {}, decodeText},
        {"broken to small avif", "broken", avif, 10, nullptr, "", {}, decodeText},
        {"broken to png", "broken", png, {}, nullptr, "", {}, decodeText},
        {"folder below a file", "png", heic, {}, nullptr, "", below, noFolder},
        {"file as folder", "png", heic, {}, nullptr, "", file, noWrite},
    };
    Image ignored;
    const QString inputs[] = {
        writeInput(QStringLiteral("photo.png"), gradient(16, 16)),
        m_scratch.writeFile(QStringLiteral("in/anim.gif"), gifBytes(16, 16, &ignored)),
        m_scratch.writeFile(QStringLiteral("in/broken.png"), "not a png at all")};
    const QString defaultOut = m_out;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (!c.tool && !missingRealTools(toolsFor(c.format)).isEmpty())
            continue;
        m_fake.reset();
        if (c.tool) {
            useFakeResources();
            if (*c.tool)
                addScript(QLatin1String(c.tool), QLatin1String(c.script));
        }
        m_out = c.out.isEmpty() ? defaultOut : c.out;
        const QByteArray kind(c.input);
        const QString input = inputs[kind == "png" ? 0 : kind == "gif" ? 1 : 2];
        try {
            (void)convert(input, c.format, 80, c.maxWidth);
            ADD_FAILURE() << "converted without an error";
        } catch (const DescribedError& error) {
            const QString text = error.description();
            EXPECT_TRUE(c.out.isEmpty() ? text == c.message
                                        : text.startsWith(c.message) && text.contains(c.out))
                << text.toStdString();
        }
        if (c.out.isEmpty()) {
            EXPECT_EQ(outputFiles(), QStringList());
        }
        EXPECT_EQ(leftovers(), QStringList());
    }
}

// --- Never replacing a file ------------------------------------------------------------

TEST_F(ImageConverterTest, FileThatAppearsAtTheNameIsNotReplaced) {
    REQUIRE_REAL_TOOLS(QStringLiteral("cwebp"));
    useFakeResources();
    const QString squatted = m_out + QStringLiteral("/photo.webp");
    addScript(QStringLiteral("cwebp"),
              shellQuoted(realTool(QStringLiteral("cwebp"))) +
                  QStringLiteral(" \"$@\" || exit $?\nprintf squatter > ") + shellQuoted(squatted));
    const QString input = writeInput(QStringLiteral("photo.png"), gradient(32, 24));

    const QUrl output = convert(input, OutputFormat::webp);

    EXPECT_EQ(output.toLocalFile(), m_out + QStringLiteral("/photo-1.webp"));
    QFile squatter(squatted);
    ASSERT_TRUE(squatter.open(QIODevice::ReadOnly));
    EXPECT_EQ(squatter.readAll(), QByteArray("squatter"));
    EXPECT_EQ(ImageServices::decode(output.toLocalFile()).width, 32);
    EXPECT_EQ(leftovers(), QStringList());
}

TEST_F(ImageConverterTest, ExistingFileAtTheCustomNameIsNotReplaced) {
    REQUIRE_REAL_TOOLS(QStringLiteral("cjpeg"));
    const QString input = writeInput(QStringLiteral("photo.png"), gradient(32, 24));
    QDir().mkpath(m_out);
    const QString existing = m_scratch.writeFile(QStringLiteral("out/image-01.jpg"), "keep me");
    const QSet<QUrl> reserved{QUrl::fromLocalFile(m_out + QStringLiteral("/image-01-1.jpg"))};

    const QUrl output = convert(input, OutputFormat::jpeg, 80, std::nullopt, std::nullopt,
                                QUrl::fromLocalFile(existing), reserved);

    EXPECT_EQ(output.toLocalFile(), m_out + QStringLiteral("/image-01-2.jpg"));
    QFile kept(existing);
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), QByteArray("keep me"));
    EXPECT_EQ(leftovers(), QStringList());
}

// --- Cancellation ----------------------------------------------------------------------

TEST_F(ImageConverterTest, CancelledBeforeStartTouchesNothing) {
    const QString input = writeInput(QStringLiteral("photo.png"), gradient(16, 16));
    m_token.cancel();
    EXPECT_THROW((void)convert(input, OutputFormat::heic), CancelledError);
    EXPECT_FALSE(QFileInfo::exists(m_out));
}

TEST_F(ImageConverterTest, CancellingDuringAnEncoderRunStopsItAndLeavesNothing) {
    useFakeResources();
    const QString started = m_scratch.filePath(QStringLiteral("started"));
    addScript(QStringLiteral("cwebp"), QStringLiteral("for last; do :; done\nprintf partial > "
                                                      "\"$last\"\n: > ") +
                                           shellQuoted(started) +
                                           QStringLiteral("\nexec sleep 30"));
    Image ignored;
    const QString gif =
        m_scratch.writeFile(QStringLiteral("in/anim.gif"), gifBytes(16, 16, &ignored));

    std::exception_ptr failure;
    const auto begin = std::chrono::steady_clock::now();
    std::thread worker([&] {
        try {
            (void)convert(gif, OutputFormat::webp);
        } catch (...) {
            failure = std::current_exception();
        }
    });
    for (int i = 0; i < 500 && !QFileInfo::exists(started); ++i)
        std::this_thread::sleep_for(10ms);
    EXPECT_TRUE(QFileInfo::exists(started));
    m_token.cancel();
    worker.join();

    EXPECT_LT(std::chrono::steady_clock::now() - begin, 10s);
    ASSERT_TRUE(failure);
    EXPECT_THROW(std::rethrow_exception(failure), CancelledError);
    EXPECT_EQ(outputFiles(), QStringList());
    EXPECT_EQ(leftovers(), QStringList());
}

} // namespace
} // namespace glintwork
