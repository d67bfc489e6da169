#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdint>
#include <memory>
#include <optional>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QStringList>

#include "compress/ImageConverter.h"
#include "compress/PNGQuantizer.h"
#include "platform/CancellationToken.h"
#include "platform/Error.h"
#include "platform/ImageServices.h"
#include "platform/Orientation.h"
#include "platform/Resources.h"
#include "support/TestImages.h"
#include "support/TestSupport.h"

// The converter end to end, with the encoders the build installs in Resources/bin, and with
// shell-script stand-ins where a test must see the command lines or provoke a failure.
namespace glintwork {
namespace {

using namespace Qt::StringLiterals;
using test::gradient;
using test::contents;
using test::psnr;

QString shellQuoted(QString text) {
    return u'\'' + text.replace(u'\'', u"'\\''"_s) + u'\'';
}

Image decodeUpright(const QString& path) {
    const auto properties = ImageServices::readProperties(path);
    return applyOrientation(ImageServices::decode(path),
                            properties ? properties->orientation.value_or(1) : 1);
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

class ImageConverterTest : public ::testing::Test {
protected:
    void SetUp() override { QDir().mkpath(m_tmp), QDir().mkpath(m_inputs); }

    [[nodiscard]] QString realTool(const QString& tool) const { return m_realBin + u'/' + tool; }
    [[nodiscard]] bool installed(const QString& tool) const {
        return tool.isEmpty() || QFileInfo(realTool(tool)).isExecutable();
    }

    // A resource folder of this test's own becomes current; its bin/ holds at most `tool`, a
    // stand-in that records its arguments, one a line, then runs `body`.
    void useStandIn(const QString& tool = {}, const QString& body = {}) {
        m_fake.reset(); // it puts back the folder that was current before it
        m_fake = std::make_unique<test::FakeResources>();
        if (!tool.isEmpty())
            m_fake->addScript(
                tool,
                ("printf '%s\\n' \"$@\" > " + shellQuoted(m_arguments) + u'\n' + body).toUtf8());
    }

    QString writeInput(const QString& name, const Image& image, int orientation = 1) const {
        const QString path = m_inputs + u'/' + name;
        WriteMetadata metadata;
        metadata.orientation = orientation;
        if (name.endsWith(u".jpg"_s))
            ImageServices::writeJPEG(image, path, 0.95, metadata);
        else if (name.endsWith(u".tif"_s))
            ImageServices::writeTIFF(image, path, metadata);
        else
            ImageServices::writePNG(image, path, metadata);
        return path;
    }
    // A photo stored sideways (EXIF orientation 6), which no encoder may read as it is.
    QString sidewaysInput() const {
        return writeInput(u"sideways.jpg"_s, test::quadrants(64, 48), 6);
    }

    QString convert(const QString& input, OutputFormat format, int quality = 80,
                    std::optional<int> maxWidth = {}, std::optional<int> maxHeight = {},
                    const QString& custom = {}, const QString& reserved = {}) {
        QSet<QUrl> taken;
        if (!reserved.isEmpty())
            taken << QUrl::fromLocalFile(reserved);
        return ImageConverter::convert(
                   QUrl::fromLocalFile(input), QUrl::fromLocalFile(m_out), format, quality,
                   maxWidth, maxHeight,
                   custom.isEmpty() ? std::nullopt : std::optional(QUrl::fromLocalFile(custom)),
                   m_token, taken)
            .toLocalFile();
    }

    // Files left in the temporary folder, and hidden (part) files in the output folder.
    [[nodiscard]] QStringList leftovers() const {
        const auto files = QDir::Files | QDir::Hidden | QDir::System;
        return QDir(m_tmp).entryList(files) + QDir(m_out).entryList({u".*"_s}, files);
    }
    [[nodiscard]] QStringList outputFiles() const {
        return QDir(m_out).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    }

    test::ScratchDir m_scratch;
    // Temporary files go to a folder of this test's own, so leftovers can be counted.
    const QString m_tmp = m_scratch.filePath(u"tmp"_s);
    const QByteArray m_tmpName = QFile::encodeName(m_tmp);
    test::EnvironmentOverride m_tmpOverride{"TMPDIR", &m_tmpName};
    const QString m_realBin = Resources::path(u"bin"_s).value_or(QString());
    const QString m_arguments = m_scratch.filePath(u"arguments"_s);
    std::unique_ptr<test::FakeResources> m_fake;
    CancellationToken m_token;
    QString m_inputs = m_scratch.filePath(u"in"_s);
    QString m_out = m_scratch.filePath(u"out"_s);
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
// small images of the same shapes; the rounding and the limits that change nothing are the
// PNG quantizer's test); outputs carry no orientation, so a sideways photo is stored upright and a
// limit applies to its upright size; and every encoder gets sRGB numbers, so an input whose profile
// an encoder would drop, or CMYK that it cannot read at all, comes out as it looks.
TEST_P(ConvertEachFormat, EveryInputComesOutAsItLooksWithinTheLimits) {
    const QString photo = writeInput(u"photo.png"_s, gradient(160, 120));
    const QString tall = writeInput(u"tall.png"_s, gradient(3, 1000));
    const QString sideways = sidewaysInput();
    // Smooth ramps that lossy encoders keep well, stored in the numbers of an ICC profile.
    QString profiled[3];
    const char* const profiles[3][2] = {{"a98.icc", "adobe.jpg"},
                                        {"rommrgb.icc", "prophoto.png"},
                                        {"default_cmyk.icc", "cmyk.jpg"}};
    for (int i = 0; i < 3; ++i) {
        const QByteArray profile = test::ghostscriptProfile(QLatin1String(profiles[i][0]));
        if (profile.isEmpty())
            GTEST_SKIP() << profiles[i][0] << " is not installed (Debian package libgs10-common)";
        const int components = i == 2 ? 4 : 3;
        Image stored = Image::make(128, 96, 8, AlphaInfo::none,
                                   ColorSpace::fromICC(profile, components), components);
        test::fill(stored, [](int x, int y, int c) {
            const int ramps[4] = {60 + x * 120 / 127, 60 + y * 120 / 95, 180 - (x + y) * 120 / 222,
                                  20};
            return ramps[c];
        });
        profiled[i] = writeInput(QLatin1String(profiles[i][1]), stored);
    }
    const struct {
        QString input;
        std::optional<int> maxWidth, maxHeight;
        int width, height;
        double psnr;
    } cases[] = {{photo, {}, {}, 160, 120, 28},      {photo, 40, {}, 40, 30, 25},
                 {tall, 1, {}, 1, 333, 0},           {sideways, {}, {}, 48, 64, 25},
                 {sideways, {}, 32, 24, 32, 25},     {profiled[0], {}, {}, 128, 96, 30},
                 {profiled[1], {}, {}, 128, 96, 30}, {profiled[2], {}, {}, 128, 96, 30}};
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        const QString output = convert(c.input, format(), 90, c.maxWidth, c.maxHeight);
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

// Garbage, a file cut short, or one that is not a regular file fails: no encoder may make up
// the missing part or wait for data that never comes, and nothing is left behind.
TEST_P(ConvertEachFormat, BadInputFailsAndLeavesNothing) {
    QStringList inputs{m_scratch.writeFile(u"in/broken.png"_s, "not a png at all")};
    for (const QString& name : {u"cut.jpg"_s, u"cut.png"_s}) {
        inputs << writeInput(name, gradient(256, 192));
        QFile file(inputs.last());
        ASSERT_TRUE(file.open(QIODevice::ReadWrite) && file.resize(file.size() / 2));
    }
    inputs << m_inputs + u"/pipe.png"_s;
    ASSERT_EQ(::mkfifo(QFile::encodeName(inputs.last()).constData(), 0600), 0);
    for (const QString& input : inputs) {
        for (const std::optional<int> maxWidth : {std::optional<int>(), std::optional<int>(10)}) {
            SCOPED_TRACE(input.toStdString() + (maxWidth ? " scaled" : ""));
            const auto error = test::errorOf([&] { (void)convert(input, format(), 80, maxWidth); });
            ASSERT_TRUE(error.has_value());
            // Which encoder reads the file decides the text, except that what we decode says
            // so, keeping the decoder's reason.
            EXPECT_TRUE(input != inputs[0] || format() == OutputFormat::webp ||
                        (error->text() == u"Image decoding failed"_s &&
                         error->reason().contains(u"it is not in a known image format"_s)))
                << error->reason().toStdString();
            EXPECT_EQ(outputFiles(), QStringList());
        }
    }
    EXPECT_EQ(leftovers(), QStringList());
}

// Whatever the encoder says about it, a full disk is reported as one.
TEST_P(ConvertEachFormat, FullDiskSaysSo) {
    const test::SmallDisk disk(m_scratch);
    if (!disk.isMounted())
        GTEST_SKIP() << "mounting a small tmpfs needs root";
    const QString input =
        writeInput(u"noise.png"_s, test::noiseImage(600, 600, 8, AlphaInfo::none, 3));
    m_out = disk.path();
    EXPECT_EQ(test::errorText([&] { (void)convert(input, format(), 90); }),
              "No space left on device");
    EXPECT_EQ(outputFiles(), QStringList());
    EXPECT_EQ(leftovers(), QStringList());
}

INSTANTIATE_TEST_SUITE_P(Formats, ConvertEachFormat, ::testing::ValuesIn(kFormats),
                         [](const auto& info) { return keyword(info.param.format).toStdString(); });

// Converting a folder in place: the input is never replaced, nor a name handed to another item
// of the run, nor a file that appears at the chosen name while the encoder runs; a custom name
// gets its folder made.
TEST_F(ImageConverterTest, NamesNeverReplaceAFile) {
    if (!installed(u"cwebp"_s))
        GTEST_SKIP() << "cwebp is not installed in Resources/bin";
    m_out = m_inputs;
    const QString webp = convert(writeInput(u"photo.png"_s, gradient(32, 24)), OutputFormat::webp);
    ASSERT_EQ(webp, m_out + u"/photo.webp"_s);
    EXPECT_EQ(convert(webp, OutputFormat::webp), m_out + u"/photo-1.webp"_s);
    EXPECT_EQ(convert(webp, OutputFormat::webp, 80, {}, {}, {}, m_out + u"/photo-2.webp"_s),
              m_out + u"/photo-3.webp"_s);
    m_out = m_scratch.filePath(u"deep/er"_s);
    const QString custom = m_out + u"/image-01.webp"_s;
    EXPECT_EQ(convert(webp, OutputFormat::webp, 80, {}, {}, custom), custom);

    const QString squatted = m_out + u"/photo.webp"_s;
    useStandIn(u"cwebp"_s, shellQuoted(realTool(u"cwebp"_s)) +
                               u" \"$@\" || exit $?\nprintf squatter > "_s + shellQuoted(squatted));
    EXPECT_EQ(convert(webp, OutputFormat::webp), m_out + u"/photo-1.webp"_s);
    EXPECT_EQ(contents(squatted), QByteArray("squatter"));
    EXPECT_EQ(leftovers(), QStringList());
}

// Which file each encoder reads (the input itself, or a temporary PNG or TGA when it cannot
// read the input as it is or a size limit applies) and where it writes (a hidden file beside
// the output, which then takes its name): in the expected arguments "<input>", "<tmp.png>",
// "<tmp.tga>" and "<part>" stand for those paths. And each failure's own text (after "!"; an
// encoder's words verbatim, placeholders and all). Either way no part or temporary file stays.
TEST_F(ImageConverterTest, EachEncoderGetsItsCommandLineAndItsFailuresSaySo) {
    using enum OutputFormat;
    const QString tiff = writeInput(u"scan.tif"_s, gradient(40, 30));
    const QString photo = writeInput(u"photo.png"_s, gradient(64, 48));
    const QString sideways = sidewaysInput();
    const QString file = m_scratch.writeFile(u"plain-file"_s, "x");
    // Writes something where the output should go, then fails.
    const char* fails =
        "for last; do :; done\nprintf partial > \"$last\"\necho 'bad %1 input' >&2\nexit 1";
    const char* toStdout = "printf partial\necho 'bad %1 input' >&2\nexit 1";
    const char* webpExited =
        "!The WebP encoder could not convert this file (exit status 1): bad %1 input\n";
    const char* jpegExited =
        "!The JPEG encoder could not convert this file (exit status 1): bad %1 input\n";
    const char* pngExited =
        "!The PNG optimiser could not convert this file (exit status 1): bad %1 input\n";
    const char* missing = "!The helper program 'cwebp' is missing from the installation (it "
                          "belongs in Resources/bin).";
    const char* hif = "glintwork-heic-encoder";
    const struct {
        const char* tool; // a stand-in running `script`, or the build's encoder when that is null
        QString input;
        OutputFormat format;
        int quality;
        std::optional<int> maxWidth;
        const char* script;
        const char* expected;
        QString out = {}; // the output folder, when not the usual one
    } cases[] = {
        {"cwebp", tiff, webp, 70, {}, {}, "-q 70 -m 6 <input> -o <part>"},
        {"cwebp", sideways, webp, 90, 24, {}, "-q 90 -m 6 -resize 24 32 <tmp.png> -o <part>"},
        {"avifenc", photo, avif, 80, {}, {}, "--min 12 --max 12 --speed 4 <input> <part>"},
        {"avifenc", tiff, avif, 50, {}, {}, "--min 31 --max 31 --speed 4 <tmp.png> <part>"},
        {"cjpeg", photo, jpeg, 85, {}, {}, "-quality 85 -optimize -progressive -targa <tmp.tga>"},
        {hif, photo, heic, 80, {}, {}, "0.8 <input> <part>"},
        {hif, sideways, heic, 30, 24, {}, "0.3 <tmp.png> <part>"},
        {"oxipng", photo, png, 80, {}, "exit 0", "-o 4 --strip safe <part>"},
        {"cwebp", sideways, webp, 80, {}, fails, webpExited},
        {"cjpeg", sideways, jpeg, 80, {}, toStdout, jpegExited},
        {"oxipng", sideways, png, 80, {}, fails, pngExited},
        {"cwebp", photo, webp, 80, {}, "exit 0", "!Output file was not created"},
        {"", photo, webp, 80, {}, "", missing},
        {hif, photo, heic, 80, {}, {}, "!Could not create the folder", file + u"/sub"_s},
        {hif, photo, heic, 80, {}, {}, "!Could not write to the folder", file}};
    const QString usualOut = m_out;
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.tool) + " " + c.expected);
        const QString tool = QLatin1String(c.tool);
        if (!c.script && !installed(tool))
            continue;
        useStandIn(tool, c.script ? QString::fromUtf8(c.script)
                                  : u"exec "_s + shellQuoted(realTool(tool)) + u" \"$@\""_s);
        m_out = c.out.isEmpty() ? usualOut : c.out;
        const QString expected = QString::fromUtf8(c.expected);
        QString output;
        try {
            output = convert(c.input, c.format, c.quality, c.maxWidth);
            ASSERT_FALSE(expected.startsWith(u'!')) << "converted";
        } catch (const Error& error) {
            // A folder's error goes on to name the folder and the system's reason.
            EXPECT_TRUE((u'!' + error.text()).startsWith(expected) && error.text().contains(c.out))
                << error.text().toStdString();
            EXPECT_TRUE(!c.out.isEmpty() || outputFiles().isEmpty());
            EXPECT_EQ(leftovers(), QStringList());
            continue;
        }
        QStringList arguments =
            QString::fromUtf8(contents(m_arguments)).split(u'\n', Qt::SkipEmptyParts);
        for (QString& argument : arguments) {
            const QFileInfo file(argument);
            if (argument == c.input)
                argument = u"<input>"_s;
            else if (file.absolutePath() == m_tmp)
                argument = u"<tmp."_s + file.suffix() + u'>';
            else if (file.absolutePath() == m_out && file.fileName().startsWith(u'.'))
                argument = u"<part>"_s;
        }
        EXPECT_EQ(arguments.join(u' '), expected);
        EXPECT_EQ(output, m_out + u'/' + QFileInfo(c.input).completeBaseName() + u'.' +
                              fileExtension(c.format));
        // A flip, a swap of channels or a wrong size scores far lower.
        const Image decoded = ImageServices::decode(output);
        EXPECT_GT(psnr(decoded, ImageServices::downscale(decodeUpright(c.input), decoded.width,
                                                         decoded.height)),
                  20);
        EXPECT_EQ(leftovers(), QStringList());
        QFile::remove(output);
    }
}

// Writing the JPEG path's intermediate TGA fails with the system's reason; and an image that
// cannot be scaled to the limits fails rather than going on at full size as a success.
TEST_F(ImageConverterTest, IntermediateStepsThatFailSayWhy) {
    useStandIn(u"cjpeg"_s, u"exit 0"_s);
    const QString input = writeInput(u"photo.png"_s, gradient(32, 24));
    {
        const QByteArray notAFolder = QFile::encodeName(m_scratch.writeFile(u"file"_s, "x"));
        const test::EnvironmentOverride tmp("TMPDIR", &notAFolder);
        EXPECT_EQ(test::errorText([&] { (void)convert(input, OutputFormat::jpeg); }),
                  "TGA export failed: Not a directory");
    }
    EXPECT_EQ(outputFiles(), QStringList());
    EXPECT_EQ(leftovers(), QStringList());

    Image cut = gradient(32, 24);
    cut.pixels.resize(cut.pixels.size() / 2);
    EXPECT_EQ(test::errorText([&] { (void)ImageConverter::resizedImage(cut, 8, {}); }),
              "The image could not be scaled to the maximum size: Image pixel data is truncated.");
    EXPECT_FALSE(ImageConverter::resizedImage(cut, 32, 100).has_value()) << "fits already";
}

// Without oxipng the PNG is the quantizer's own, byte for byte (it is deterministic); oxipng
// only makes it smaller, keeping every pixel.
TEST_F(ImageConverterTest, OxipngKeepsTheQuantizersPixels) {
    const QString input = writeInput(u"photo.png"_s, gradient(48, 32));
    const QString direct = m_scratch.filePath(u"direct.png"_s);
    PNGQuantizer::quantize(input, direct, 80, std::nullopt, std::nullopt);
    useStandIn();
    EXPECT_EQ(contents(convert(input, OutputFormat::png)), contents(direct));
    m_fake.reset();
    if (!installed(u"oxipng"_s))
        GTEST_SKIP() << "oxipng is not installed in Resources/bin";
    EXPECT_EQ(psnr(ImageServices::decode(convert(input, OutputFormat::png)),
                   ImageServices::decode(direct)),
              99.0);
    EXPECT_EQ(leftovers(), QStringList());
}

} // namespace
} // namespace glintwork
