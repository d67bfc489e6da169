#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
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

#include "compress/ImageConverter.h"
#include "compress/PNGQuantizer.h"
#include "platform/CancellationToken.h"
#include "platform/DescribedError.h"
#include "platform/ImageServices.h"
#include "platform/Orientation.h"
#include "platform/Resources.h"
#include "support/TestImages.h"
#include "support/TestSupport.h"

// The converter end to end, with the encoders the build installs in Resources/bin, and with
// shell-script stand-ins where a test must see the command lines or provoke a failure.
namespace glintwork {
namespace {

using namespace std::chrono_literals;
using test::gradient;
using test::psnr;

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

QByteArray contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString shellQuoted(QString text) {
    return QLatin1Char('\'') + text.replace(QLatin1Char('\''), QStringLiteral("'\\''")) +
           QLatin1Char('\'');
}

struct FormatCase {
    OutputFormat format;
    const char* tool; // the encoder it needs; none for PNG
};
const FormatCase kFormats[] = {{OutputFormat::webp, "cwebp"},
                               {OutputFormat::jpeg, "cjpeg"},
                               {OutputFormat::png, ""},
                               {OutputFormat::heic, "glintwork-heic-encoder"},
                               {OutputFormat::avif, "avifenc"}};

QString toolFor(OutputFormat format) {
    return QLatin1String(
        std::find_if(std::begin(kFormats), std::end(kFormats), [&](const FormatCase& c) {
            return c.format == format;
        })->tool);
}

Image decodeUpright(const QString& path) {
    const auto properties = ImageServices::readProperties(path);
    return applyOrientation(ImageServices::decode(path),
                            properties ? properties->orientation.value_or(1) : 1);
}

class ImageConverterTest : public ::testing::Test {
protected:
    void SetUp() override {
        QDir().mkpath(m_tmp);
        QDir().mkpath(m_inputs);
    }

    // Whether the build installed the encoder (none is needed: PNG).
    [[nodiscard]] bool installed(const QString& tool) const {
        return tool.isEmpty() || QFileInfo(realTool(tool)).isExecutable();
    }
    [[nodiscard]] QString realTool(const QString& tool) const {
        return m_realBin + QLatin1Char('/') + tool;
    }

    // A resource folder of this test's own becomes current; its bin/ holds at most `tool`, a
    // stand-in that records its arguments, one a line, then runs `body`.
    void useStandIn(const QString& tool = {}, const QString& body = {}) {
        m_fake.reset(); // it puts back the folder that was current before it
        m_fake = std::make_unique<test::FakeResources>();
        if (!tool.isEmpty())
            m_fake->addScript(tool, "printf '%s\\n' \"$@\" > " +
                                        QFile::encodeName(shellQuoted(argumentsFile())) + "\n" +
                                        body.toUtf8());
    }
    [[nodiscard]] QString argumentsFile() const {
        return m_scratch.filePath(QStringLiteral("arguments"));
    }

    QString writeInput(const QString& name, const Image& image, int orientation = 1) const {
        const QString path = m_inputs + QLatin1Char('/') + name;
        WriteMetadata metadata;
        metadata.orientation = orientation;
        if (name.endsWith(QLatin1String(".jpg")))
            ImageServices::writeJPEG(image, path, 0.95, metadata);
        else if (name.endsWith(QLatin1String(".tif")))
            ImageServices::writeTIFF(image, path, metadata);
        else
            ImageServices::writePNG(image, path, metadata);
        return path;
    }
    // A photo stored sideways (EXIF orientation 6), which no encoder may read as it is.
    QString sidewaysInput() const {
        return writeInput(QStringLiteral("sideways.jpg"), test::quadrants(64, 48), 6);
    }

    QUrl convert(const QString& input, OutputFormat format, int quality = 80,
                 std::optional<int> maxWidth = {}, std::optional<int> maxHeight = {},
                 const std::optional<QUrl>& custom = {}, const QSet<QUrl>& reserved = {}) {
        return ImageConverter::convert(QUrl::fromLocalFile(input), QUrl::fromLocalFile(m_out),
                                       format, quality, maxWidth, maxHeight, custom, m_token,
                                       reserved);
    }

    // Files left in the temporary folder, and hidden (part) files in the output folder.
    [[nodiscard]] QStringList leftovers() const {
        const auto files = QDir::Files | QDir::Hidden | QDir::System;
        return QDir(m_tmp).entryList(files) +
               QDir(m_out).entryList(QStringList{QStringLiteral(".*")}, files);
    }
    [[nodiscard]] QStringList outputFiles() const {
        return QDir(m_out).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    }

    test::ScratchDir m_scratch;
    // Temporary files go to a folder of this test's own, so leftovers can be counted.
    const QString m_tmp = m_scratch.filePath(QStringLiteral("tmp"));
    const QByteArray m_tmpName = QFile::encodeName(m_tmp);
    test::EnvironmentOverride m_tmpOverride{"TMPDIR", &m_tmpName};
    const QString m_realBin = Resources::path(QStringLiteral("bin")).value_or(QString());
    std::unique_ptr<test::FakeResources> m_fake;
    CancellationToken m_token;
    QString m_inputs = m_scratch.filePath(QStringLiteral("in"));
    QString m_out = m_scratch.filePath(QStringLiteral("out"));
};

// --- Every format, end to end ----------------------------------------------------------

class ConvertEachFormat : public ImageConverterTest,
                          public ::testing::WithParamInterface<FormatCase> {
protected:
    void SetUp() override {
        ImageConverterTest::SetUp();
        if (!installed(QLatin1String(GetParam().tool)))
            GTEST_SKIP() << GetParam().tool << " is not installed in Resources/bin";
    }
    [[nodiscard]] OutputFormat format() const { return GetParam().format; }
};

// Every encoder honours the size it is given (limits such as 1000 × none on 4000 × 3000, on
// small images of the same shapes; the rounding is the PNG quantizer's test) and never
// enlarges; outputs carry no orientation, so a sideways photo is stored upright and a limit
// applies to its upright size; and every encoder gets sRGB numbers, so an input whose profile
// an encoder would drop, or CMYK that it cannot read at all, comes out as it looks.
TEST_P(ConvertEachFormat, EveryInputComesOutAsItLooksWithinTheLimits) {
    const QString photo = writeInput(QStringLiteral("photo.png"), gradient(160, 120));
    const QString tall = writeInput(QStringLiteral("tall.png"), gradient(3, 1000));
    const QString sideways = sidewaysInput();
    QString profiled[3];
    const char* const profiles[3][2] = {{"a98.icc", "adobe.jpg"},
                                        {"rommrgb.icc", "prophoto.png"},
                                        {"default_cmyk.icc", "cmyk.jpg"}};
    for (int i = 0; i < 3; ++i) {
        const QByteArray profile = installedProfile(QLatin1String(profiles[i][0]));
        if (profile.isEmpty())
            GTEST_SKIP() << profiles[i][0] << " is not installed (Debian package libgs10-common)";
        const int components = i == 2 ? 4 : 3;
        // Smooth ramps that lossy encoders keep well, stored in the profile's own numbers.
        Image stored = Image::make(128, 96, 8, AlphaInfo::none,
                                   ColorSpace::fromICC(profile, components), components);
        test::fill(stored, [](int x, int y, int c) {
            return c == 0   ? 60 + x * 120 / 127
                   : c == 1 ? 60 + y * 120 / 95
                   : c == 2 ? 180 - (x + y) * 120 / 222
                            : 20;
        });
        profiled[i] = writeInput(QLatin1String(profiles[i][1]), stored);
    }
    const struct {
        QString input;
        std::optional<int> maxWidth, maxHeight;
        int width, height;
        double psnr;
    } cases[] = {{photo, {}, {}, 160, 120, 28},      {photo, 40, {}, 40, 30, 25},
                 {photo, 0, 40, 53, 40, 25},         {photo, 320, 320, 160, 120, 28},
                 {tall, 1, {}, 1, 333, 0},           {sideways, {}, {}, 48, 64, 25},
                 {sideways, {}, 32, 24, 32, 25},     {profiled[0], {}, {}, 128, 96, 30},
                 {profiled[1], {}, {}, 128, 96, 30}, {profiled[2], {}, {}, 128, 96, 30}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << QFileInfo(c.input).fileName().toStdString() << " "
                     << c.maxWidth.value_or(-1) << "x" << c.maxHeight.value_or(-1));
        const QString output =
            convert(c.input, format(), 90, c.maxWidth, c.maxHeight).toLocalFile();
        EXPECT_EQ(output, m_out + u'/' + QFileInfo(c.input).completeBaseName() + u'.' +
                              fileExtension(format()));
        EXPECT_EQ(outputFiles(), QStringList{QFileInfo(output).fileName()});
        EXPECT_EQ(ImageServices::readProperties(output)->orientation.value_or(1), 1);
        const Image stored = ImageServices::decode(output);
        ASSERT_EQ(stored.width, c.width);
        ASSERT_EQ(stored.height, c.height);
        EXPECT_GT(psnr(stored, ImageServices::downscale(decodeUpright(c.input), c.width, c.height)),
                  c.psnr);
        QFile::remove(output);
    }
    EXPECT_EQ(leftovers(), QStringList());
}

// A file cut short, or one that is not a regular file, fails: no encoder may make up the
// missing part or wait for data that never comes.
TEST_P(ConvertEachFormat, TruncatedOrNonRegularInputFails) {
    QStringList inputs;
    for (const QString& name : {QStringLiteral("cut.jpg"), QStringLiteral("cut.png")}) {
        inputs << writeInput(name, gradient(256, 192));
        QFile file(inputs.last());
        ASSERT_TRUE(file.open(QIODevice::ReadWrite) && file.resize(file.size() / 2));
    }
    inputs << m_inputs + QStringLiteral("/pipe.png");
    ASSERT_EQ(::mkfifo(QFile::encodeName(inputs.last()).constData(), 0600), 0);
    for (const QString& input : inputs) {
        EXPECT_THROW((void)convert(input, format()), DescribedError) << input.toStdString();
        EXPECT_EQ(outputFiles(), QStringList());
    }
    EXPECT_EQ(leftovers(), QStringList());
}

// Whatever the encoder says about it, a full disk is reported as one.
TEST_P(ConvertEachFormat, FullDiskSaysSo) {
    const test::SmallDisk disk(m_scratch);
    if (!disk.isMounted())
        GTEST_SKIP() << "mounting a small tmpfs needs root";
    Image noise = Image::make(600, 600, 8, AlphaInfo::none, ColorSpace::sRGB(), 3);
    std::uint32_t state = 7;
    for (auto& byte : noise.pixels)
        byte = std::uint8_t((state = state * 1664525u + 1013904223u) >> 24);
    const QString input = writeInput(QStringLiteral("noise.png"), noise);
    m_out = disk.path();
    try {
        (void)convert(input, format(), 90);
        ADD_FAILURE() << "written to a full disk";
    } catch (const DescribedError& error) {
        EXPECT_TRUE(error.description().contains(QStringLiteral("No space left on device")))
            << error.description().toStdString();
    }
    EXPECT_EQ(outputFiles(), QStringList());
    EXPECT_EQ(leftovers(), QStringList());
}

INSTANTIATE_TEST_SUITE_P(Formats, ConvertEachFormat, ::testing::ValuesIn(kFormats),
                         [](const auto& info) {
                             return rawValue(info.param.format).toStdString();
                         });

// --- Names -----------------------------------------------------------------------------

// Converting a folder in place: the input is never replaced, nor a name taken on disk or handed
// to another item of the run; a custom name gets its folder made, and is never replaced either.
TEST_F(ImageConverterTest, NamesNeverReplaceAFile) {
    if (!installed(QStringLiteral("cwebp")))
        GTEST_SKIP() << "cwebp is not installed in Resources/bin";
    m_out = m_inputs;
    const QString webp =
        convert(writeInput(QStringLiteral("photo.png"), gradient(32, 24)), OutputFormat::webp)
            .toLocalFile();
    ASSERT_EQ(webp, m_out + QStringLiteral("/photo.webp"));
    const auto named = [&](const QString& name) {
        return QUrl::fromLocalFile(m_out + u'/' + name);
    };
    EXPECT_EQ(convert(webp, OutputFormat::webp), named(QStringLiteral("photo-1.webp")));
    EXPECT_EQ(
        convert(webp, OutputFormat::webp, 80, {}, {}, {}, {named(QStringLiteral("photo-2.webp"))}),
        named(QStringLiteral("photo-3.webp")));

    m_out = m_scratch.filePath(QStringLiteral("deep/er/out"));
    const QUrl custom = named(QStringLiteral("image-01.webp"));
    EXPECT_EQ(convert(webp, OutputFormat::webp, 80, {}, {}, custom), custom);
    const QByteArray first = contents(custom.toLocalFile());
    EXPECT_EQ(convert(webp, OutputFormat::webp, 80, {}, {}, custom,
                      {named(QStringLiteral("image-01-1.webp"))}),
              named(QStringLiteral("image-01-2.webp")));
    EXPECT_EQ(contents(custom.toLocalFile()), first);
    EXPECT_EQ(leftovers(), QStringList());
}

// The name was free when chosen, but a file appears there while the encoder runs.
TEST_F(ImageConverterTest, FileThatAppearsAtTheNameIsNotReplaced) {
    if (!installed(QStringLiteral("cwebp")))
        GTEST_SKIP() << "cwebp is not installed in Resources/bin";
    const QString squatted = m_out + QStringLiteral("/photo.webp");
    useStandIn(QStringLiteral("cwebp"),
               shellQuoted(realTool(QStringLiteral("cwebp"))) +
                   QStringLiteral(" \"$@\" || exit $?\nprintf squatter > ") +
                   shellQuoted(squatted));
    const QUrl output =
        convert(writeInput(QStringLiteral("photo.png"), gradient(32, 24)), OutputFormat::webp);
    EXPECT_EQ(output.toLocalFile(), m_out + QStringLiteral("/photo-1.webp"));
    EXPECT_EQ(contents(squatted), QByteArray("squatter"));
    EXPECT_EQ(ImageServices::decode(output.toLocalFile()).width, 32);
    EXPECT_EQ(leftovers(), QStringList());
}

// --- What each helper executable is given ---------------------------------------------

// Which file each encoder reads (the input itself, or a temporary PNG or TGA when it cannot
// read the input as it is or a size limit applies) and where it writes (a hidden file beside
// the output, which then takes its name). In the expected lists "<input>", "<tmp.png>",
// "<tmp.tga>" and "<part>" stand for those paths.
TEST_F(ImageConverterTest, EachEncoderGetsItsCommandLine) {
    using enum OutputFormat;
    const QString tiff = writeInput(QStringLiteral("scan.tif"), gradient(40, 30));
    const QString photo = writeInput(QStringLiteral("photo.png"), gradient(64, 48));
    const QString sideways = sidewaysInput();
    const struct {
        const char* tool;
        QString input;
        OutputFormat format;
        int quality;
        std::optional<int> maxWidth;
        const char* expected;
    } cases[] = {
        {"cwebp", tiff, webp, 70, {}, "-q 70 -m 6 <input> -o <part>"},
        {"cwebp", sideways, webp, 90, 24, "-q 90 -m 6 -resize 24 32 <tmp.png> -o <part>"},
        {"avifenc", photo, avif, 80, {}, "--min 12 --max 12 --speed 4 <input> <part>"},
        {"avifenc", tiff, avif, 50, {}, "--min 31 --max 31 --speed 4 <tmp.png> <part>"},
        {"cjpeg", photo, jpeg, 85, {}, "-quality 85 -optimize -progressive -targa <tmp.tga>"},
        {"glintwork-heic-encoder", photo, heic, 80, {}, "0.8 <input> <part>"},
        {"glintwork-heic-encoder", sideways, heic, 30, 24, "0.3 <tmp.png> <part>"},
        // A stand-in that does nothing, leaving the quantizer's PNG.
        {"oxipng", photo, png, 80, {}, "-o 4 --strip safe <part>"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.tool) + " " + QFileInfo(c.input).fileName().toStdString());
        const QString tool = QLatin1String(c.tool);
        const bool real = tool != QLatin1String("oxipng");
        if (real && !installed(tool))
            continue;
        useStandIn(tool, real ? QStringLiteral("exec ") + shellQuoted(realTool(tool)) +
                                    QStringLiteral(" \"$@\"")
                              : QStringLiteral("exit 0"));
        const QString output = convert(c.input, c.format, c.quality, c.maxWidth).toLocalFile();

        const QStringList arguments =
            QString::fromUtf8(contents(argumentsFile())).split(u'\n', Qt::SkipEmptyParts);
        const QStringList expected = QString::fromUtf8(c.expected).split(u' ');
        ASSERT_EQ(arguments.size(), expected.size()) << arguments.join(u' ').toStdString();
        for (qsizetype k = 0; k < arguments.size(); ++k) {
            const QFileInfo file(arguments[k]);
            if (expected[k] == QLatin1String("<input>")) {
                EXPECT_EQ(arguments[k], c.input);
            } else if (expected[k].startsWith(QLatin1String("<tmp."))) {
                EXPECT_EQ(file.absolutePath(), m_tmp);
                EXPECT_EQ(file.suffix(), expected[k].mid(5, 3));
            } else if (expected[k] == QLatin1String("<part>")) {
                EXPECT_EQ(file.absolutePath(), m_out);
                EXPECT_TRUE(file.fileName().startsWith(u'.'));
            } else {
                EXPECT_EQ(arguments[k], expected[k]) << "argument " << k;
            }
        }
        EXPECT_EQ(output, m_out + u'/' + QFileInfo(c.input).completeBaseName() + u'.' +
                              fileExtension(c.format));
        // A flip, a swap of channels or a wrong size scores far lower.
        const Image decoded = ImageServices::decode(output);
        EXPECT_GT(psnr(decoded, ImageServices::downscale(decodeUpright(c.input), decoded.width,
                                                         decoded.height)),
                  20.0);
        EXPECT_EQ(leftovers(), QStringList());
        QFile::remove(output);
    }
}

// Without oxipng the PNG is the quantizer's own, byte for byte (it is deterministic); oxipng
// only makes it smaller, keeping every pixel.
TEST_F(ImageConverterTest, OxipngKeepsTheQuantizersPixels) {
    const QString input = writeInput(QStringLiteral("photo.png"), gradient(48, 32));
    const QString direct = m_scratch.filePath(QStringLiteral("direct.png"));
    PNGQuantizer::quantize(input, direct, 80, std::nullopt, std::nullopt);
    useStandIn();
    const QString plain = convert(input, OutputFormat::png).toLocalFile();
    EXPECT_EQ(contents(plain), contents(direct));
    m_fake.reset();
    if (!installed(QStringLiteral("oxipng")))
        GTEST_SKIP() << "oxipng is not installed in Resources/bin";
    const QString optimised = convert(input, OutputFormat::png).toLocalFile();
    EXPECT_EQ(psnr(ImageServices::decode(optimised), ImageServices::decode(direct)), 99.0);
    EXPECT_EQ(leftovers(), QStringList());
}

// --- Failures --------------------------------------------------------------------------

// Each failure carries its own text (an encoder's words verbatim, placeholders and all), and no
// output, part file or temporary file stays.
TEST_F(ImageConverterTest, FailuresSayWhatWentWrongAndLeaveNothing) {
    using enum OutputFormat;
    // Writes something where the output should go, then fails.
    const char* failing =
        "for last; do :; done\nprintf partial > \"$last\"\necho 'bad %1 input' >&2\nexit 1";
    const char* failingToStdout = "printf partial\necho 'bad %1 input' >&2\nexit 1";
    const QString file = m_scratch.writeFile(QStringLiteral("plain-file"), "x");
    const QString missing =
        QStringLiteral("CLI tool 'cwebp' not found. Place binaries in Resources/bin/.");
    const QString exitText = QStringLiteral("Process exited with code 1: bad %1 input\n");
    const QString decodeText = QStringLiteral("Image decoding failed");
    const QString notCreated = QStringLiteral("Output file was not created");
    const QString noFolder = QStringLiteral("Could not create the folder");
    const QString noWrite = QStringLiteral("Could not write to the folder");
    const QString photo = writeInput(QStringLiteral("photo.png"), gradient(16, 16));
    const QString sideways = sidewaysInput(); // read through a temporary file
    const QString broken = m_scratch.writeFile(QStringLiteral("in/broken.png"), "not a png at all");
    const struct {
        const char* name;
        QString input;
        OutputFormat format;
        std::optional<int> maxWidth;
        const char* tool; // a stand-in with `script` as its body; nullptr: the build's encoders
        const char* script;
        QString out; // output folder when not the default
        QString message;
    } cases[] = {
        {"missing cwebp", photo, webp, {}, "", "", {}, missing},
        {"cwebp fails", sideways, webp, {}, "cwebp", failing, {}, exitText},
        {"avifenc fails", sideways, avif, {}, "avifenc", failing, {}, exitText},
        {"cjpeg fails", sideways, jpeg, {}, "cjpeg", failingToStdout, {}, exitText},
        {"oxipng fails", sideways, png, {}, "oxipng", failing, {}, exitText},
        {"encoder writes nothing", photo, webp, {}, "cwebp", "exit 0", {}, notCreated},
        {"broken to heic", broken, heic, {}, nullptr, "", {}, decodeText},
        {"broken to jpeg", broken, jpeg, {}, nullptr, "", {}, decodeText},
        {"broken to small avif", broken, avif, 10, nullptr, "", {}, decodeText},
        {"broken to png", broken, png, {}, nullptr, "", {}, decodeText},
        {"folder below a file",
         photo,
         heic,
         {},
         nullptr,
         "",
         file + QStringLiteral("/sub"),
         noFolder},
        {"file as folder", photo, heic, {}, nullptr, "", file, noWrite},
    };
    const QString defaultOut = m_out;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        m_fake.reset();
        if (!c.tool && !installed(toolFor(c.format)))
            continue;
        if (c.tool)
            useStandIn(QLatin1String(c.tool), QLatin1String(c.script));
        m_out = c.out.isEmpty() ? defaultOut : c.out;
        try {
            (void)convert(c.input, c.format, 80, c.maxWidth);
            ADD_FAILURE() << "converted without an error";
        } catch (const DescribedError& error) {
            const QString text = error.description();
            EXPECT_TRUE(c.out.isEmpty() ? text == c.message
                                        : text.startsWith(c.message) && text.contains(c.out))
                << text.toStdString();
        }
        EXPECT_TRUE(!c.out.isEmpty() || outputFiles().isEmpty());
        EXPECT_EQ(leftovers(), QStringList());
    }
}

// --- Cancellation ----------------------------------------------------------------------

TEST_F(ImageConverterTest, CancelledBeforeStartTouchesNothing) {
    const QString input = writeInput(QStringLiteral("photo.png"), gradient(16, 16));
    m_token.cancel();
    EXPECT_THROW((void)convert(input, OutputFormat::heic), CancelledError);
    EXPECT_FALSE(QFileInfo::exists(m_out));
}

TEST_F(ImageConverterTest, CancellingDuringAnEncoderRunStopsItAndLeavesNothing) {
    const QString started = m_scratch.filePath(QStringLiteral("started"));
    useStandIn(QStringLiteral("cwebp"),
               QStringLiteral("for last; do :; done\nprintf partial > \"$last\"\n: > ") +
                   shellQuoted(started) + QStringLiteral("\nexec sleep 30"));
    const QString input = sidewaysInput();
    std::exception_ptr failure;
    const auto begin = std::chrono::steady_clock::now();
    std::thread worker([&] {
        try {
            (void)convert(input, OutputFormat::webp);
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
