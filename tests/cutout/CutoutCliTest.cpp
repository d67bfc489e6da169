#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>

#include "cutout/CutoutTestImages.h"
#include "platform/ImageServices.h"
#include "support/TestSupport.h"

namespace glintwork {
namespace {

struct CliResult {
    int exitCode = -1;
    QList<QJsonObject> lines;
    QByteArray err;
};

// Runs glintwork-cli cutout --json with an empty resource folder, so the built-in
// segmenter answers whatever models the machine has.
CliResult runCutout(const test::ScratchDir& dir, const QStringList& arguments) {
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    QDir().mkpath(dir.filePath(QStringLiteral("resources")));
    environment.insert(QStringLiteral("GLINTWORK_RESOURCES"), dir.filePath(QStringLiteral("resources")));
    process.setProcessEnvironment(environment);
    process.start(QCoreApplication::applicationDirPath() + QStringLiteral("/glintwork-cli"),
                  QStringList{QStringLiteral("cutout"), QStringLiteral("--json")} + arguments);
    process.waitForFinished(120000);
    CliResult result;
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    for (const QByteArray& line : process.readAllStandardOutput().split('\n'))
        if (!line.trimmed().isEmpty())
            result.lines.append(QJsonDocument::fromJson(line).object());
    result.err = process.readAllStandardError();
    return result;
}

Image disc16(int width, int height) {
    const std::uint8_t light[3] = {230, 228, 220};
    const std::uint8_t dark[3] = {40, 90, 30};
    const Image eight = test::discOnBackground(width, height, light, dark, 0.3);
    Image deep = Image::make(width, height, 16, AlphaInfo::none, ColorSpace::sRGB(), 3);
    deep.byteOrder16 = ByteOrder16::little;
    for (std::size_t i = 0; i < eight.pixels.size(); ++i) {
        const unsigned v = eight.pixels[i] * 257u + (i % 7);
        deep.pixels[2 * i] = std::uint8_t(v & 0xFF);
        deep.pixels[2 * i + 1] = std::uint8_t(v >> 8);
    }
    return deep;
}

class CutoutCli : public ::testing::Test {
protected:
    void SetUp() override {
        if (!QFileInfo(QCoreApplication::applicationDirPath() + QStringLiteral("/glintwork-cli")).isExecutable())
            GTEST_SKIP() << "glintwork-cli is not built beside the tests";
    }
    test::ScratchDir m_dir;
};

TEST_F(CutoutCli, BadInputsFailWithTheirTexts) {
    m_dir.writeFile(QStringLiteral("in/broken.png"), "\x89PNG\r\n\x1a\n truncated");
    Image flat = Image::make(120, 90, 8, AlphaInfo::none, ColorSpace::sRGB(), 3);
    std::fill(flat.pixels.begin(), flat.pixels.end(), 140);
    ImageServices::writePNG(flat, m_dir.filePath(QStringLiteral("in/flat.png")));
    Image grey = Image::make(64, 48, 8, AlphaInfo::none, ColorSpace::deviceGray(), 1);
    for (std::size_t i = 0; i < grey.pixels.size(); ++i)
        grey.pixels[i] = std::uint8_t(i % 97 + 50);
    ImageServices::writeJPEG(grey, m_dir.filePath(QStringLiteral("in/grey.jpg")), 0.9);

    const CliResult result = runCutout(m_dir, {QStringLiteral("--mode"), QStringLiteral("lossless"),
                                               m_dir.filePath(QStringLiteral("in"))});
    EXPECT_EQ(result.exitCode, 1);
    ASSERT_EQ(result.lines.size(), 3) << result.err.toStdString();
    const QHash<QString, QString> expected{
        {QStringLiteral("broken.png"), QStringLiteral("Could not read source image at broken.png.")},
        {QStringLiteral("flat.png"), QStringLiteral("No foreground subject was detected in the image.")},
        {QStringLiteral("grey.jpg"),
         QStringLiteral("Unsupported pixel format (bitsPerComponent=8, bitsPerPixel=8, alphaInfo=0).")},
    };
    for (const QJsonObject& line : result.lines) {
        const QString name = QFileInfo(line[QStringLiteral("input")].toString()).fileName();
        SCOPED_TRACE(name.toStdString());
        EXPECT_EQ(line[QStringLiteral("status")].toString(), QStringLiteral("error"));
        EXPECT_EQ(line[QStringLiteral("error")].toString(), expected.value(name));
    }
}

TEST_F(CutoutCli, SixteenBitTiffKeepsItsDepthAndProfile) {
    const QByteArray profile = ImageServices::sRGBProfile();
    Image source = disc16(160, 120);
    source.colorSpace = ColorSpace::fromICC(profile, 3);
    ImageServices::writeTIFF(source, m_dir.filePath(QStringLiteral("deep.tiff")));
    const CliResult result =
        runCutout(m_dir, {QStringLiteral("--format"), QStringLiteral("tiff"), QStringLiteral("--export-mask"),
                          m_dir.filePath(QStringLiteral("deep.tiff"))});
    ASSERT_EQ(result.exitCode, 0) << result.err.toStdString();
    ASSERT_EQ(result.lines.size(), 1);
    const QString output = result.lines[0][QStringLiteral("output")].toString();
    EXPECT_EQ(QFileInfo(output).fileName(), QStringLiteral("deep-cutout.tiff"));
    const Image cutout = ImageServices::decode(output);
    EXPECT_EQ(cutout.bitsPerComponent, 16);
    EXPECT_EQ(cutout.colorSpace.iccProfile, profile);
    // Lossless: the 16-bit colour samples are the source's.
    for (int y = 0; y < 120; y += 7)
        for (int x = 0; x < 160; x += 5)
            for (int k = 0; k < 6; ++k)
                ASSERT_EQ(cutout.row(y)[8 * x + k], source.row(y)[6 * x + k]);
    EXPECT_TRUE(QFileInfo::exists(m_dir.filePath(QStringLiteral("deep-cutout-mask.png"))));
}

TEST_F(CutoutCli, AnOutputFolderThatCannotBeMadeFailsEachFile) {
    Image source = disc16(80, 60);
    ImageServices::writePNG(source, m_dir.filePath(QStringLiteral("photo.png")));
    const QString blocker = m_dir.writeFile(QStringLiteral("blocker"), "a file, not a folder");
    const CliResult result = runCutout(
        m_dir, {QStringLiteral("--output"), blocker + QStringLiteral("/out"), m_dir.filePath(QStringLiteral("photo.png"))});
    EXPECT_EQ(result.exitCode, 1);
    ASSERT_EQ(result.lines.size(), 1) << result.err.toStdString();
    EXPECT_EQ(result.lines[0][QStringLiteral("status")].toString(), QStringLiteral("error"));
    EXPECT_FALSE(result.lines[0][QStringLiteral("error")].toString().isEmpty());
    EXPECT_FALSE(QFileInfo::exists(blocker + QStringLiteral("/out")));
}

TEST_F(CutoutCli, UnknownModeIsAUsageError) {
    const CliResult result = runCutout(m_dir, {QStringLiteral("--mode"), QStringLiteral("magic"), QStringLiteral("x.png")});
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_TRUE(result.err.contains("--mode must be clean-edges or lossless"));
}

} // namespace
} // namespace glintwork
