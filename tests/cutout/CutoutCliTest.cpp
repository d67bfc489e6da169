#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include "support/TestImages.h"
#include "platform/ImageServices.h"
#include "support/TestSupport.h"

namespace glintwork {
namespace {

struct CliResult {
    int exitCode = -1;
    QHash<QString, QJsonObject> lines; // by input file name
    QByteArray err;
};

class CutoutCli : public ::testing::Test {
protected:
    void SetUp() override {
        if (!QFileInfo(cli()).isExecutable())
            GTEST_SKIP() << "glintwork-cli is not built beside the tests";
        QDir().mkpath(m_dir.filePath(QStringLiteral("resources")));
    }

    static QString cli() { return QCoreApplication::applicationDirPath() + QStringLiteral("/glintwork-cli"); }

    // glintwork-cli cutout --json with an empty resource folder: the built-in segmenter answers.
    CliResult run(const QStringList& arguments) {
        const test::ResourceFolder resources(m_dir.filePath(QStringLiteral("resources")));
        QProcess process;
        process.start(cli(), QStringList{QStringLiteral("cutout"), QStringLiteral("--json")} + arguments);
        process.waitForFinished(120000);
        CliResult result;
        result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        for (const QByteArray& line : process.readAllStandardOutput().split('\n')) {
            const QJsonObject object = QJsonDocument::fromJson(line).object();
            if (!object.isEmpty())
                result.lines.insert(QFileInfo(object[QStringLiteral("input")].toString()).fileName(), object);
        }
        result.err = process.readAllStandardError();
        return result;
    }

    // A dark disc on a light backdrop in 16 bits, every sample distinct from its 8-bit value.
    static Image disc16(int width, int height) {
        const std::uint8_t light[3] = {230, 228, 220}, dark[3] = {40, 90, 30};
        const Image eight = test::discOnBackground(width, height, light, dark, 0.3);
        Image deep = Image::make(width, height, 16, AlphaInfo::none, ColorSpace::sRGB(), 3);
        test::fill(deep, [&](int x, int y, int c) { return eight.row(y)[3 * x + c] * 257 + (x + c) % 7; });
        return deep;
    }

    test::ScratchDir m_dir;
};

// Bad inputs fail each with its own text while the batch goes on; a 16-bit TIFF keeps every
// sample and its profile.
TEST_F(CutoutCli, EachFileEndsWithItsOwnResult) {
    m_dir.writeFile(QStringLiteral("in/broken.png"), "\x89PNG\r\n\x1a\n truncated");
    ImageServices::writePNG(test::solidImage(120, 90, {140, 140, 140, 255}), m_dir.filePath(QStringLiteral("in/flat.png")));
    Image grey = Image::make(64, 48, 8, AlphaInfo::none, ColorSpace::deviceGray(), 1);
    test::fill(grey, [](int x, int y, int) { return (x + y * 64) % 97 + 50; });
    ImageServices::writeJPEG(grey, m_dir.filePath(QStringLiteral("in/grey.jpg")), 0.9);
    Image source = disc16(160, 120);
    source.colorSpace = ColorSpace::fromICC(ImageServices::sRGBProfile(), 3);
    ImageServices::writeTIFF(source, m_dir.filePath(QStringLiteral("in/deep.tiff")));

    const CliResult result = run({QStringLiteral("--format"), QStringLiteral("tiff"), QStringLiteral("--export-mask"),
                                  m_dir.filePath(QStringLiteral("in"))});
    EXPECT_EQ(result.exitCode, 1);
    ASSERT_EQ(result.lines.size(), 4) << result.err.toStdString();
    const std::pair<const char*, const char*> expected[] = {
        {"broken.png", "Could not read source image at broken.png."},
        {"flat.png", "No foreground subject was detected in the image."},
        {"grey.jpg", "Unsupported pixel format (bitsPerComponent=8, bitsPerPixel=8, alphaInfo=0)."},
        {"deep.tiff", ""}};
    for (const auto& [name, error] : expected) {
        SCOPED_TRACE(name);
        const QJsonObject line = result.lines.value(QLatin1String(name));
        EXPECT_EQ(line[QStringLiteral("status")].toString(), *error ? QStringLiteral("error") : QStringLiteral("completed"));
        EXPECT_EQ(line[QStringLiteral("error")].toString(), QLatin1String(error));
    }
    const QString output = result.lines.value(QStringLiteral("deep.tiff"))[QStringLiteral("output")].toString();
    EXPECT_EQ(QFileInfo(output).fileName(), QStringLiteral("deep-cutout.tiff"));
    const Image cutout = ImageServices::decode(output);
    EXPECT_EQ(cutout.colorSpace.iccProfile, source.colorSpace.iccProfile);
    ASSERT_EQ(cutout.bitsPerComponent, 16);
    for (int y = 0; y < 120; ++y)
        for (int x = 0; x < 160; ++x)
            for (int c = 0; c < 3; ++c)
                ASSERT_EQ(test::component(cutout, x, y, c), test::component(source, x, y, c)) << x << "," << y;
    EXPECT_TRUE(QFileInfo::exists(m_dir.filePath(QStringLiteral("in/deep-cutout-mask.png"))));
    EXPECT_EQ(run({QStringLiteral("--mode"), QStringLiteral("magic"), QStringLiteral("x.png")}).exitCode, 2);
}

TEST_F(CutoutCli, AnOutputFolderThatCannotBeMadeFailsTheFile) {
    ImageServices::writePNG(disc16(80, 60), m_dir.filePath(QStringLiteral("photo.png")));
    const QString blocker = m_dir.writeFile(QStringLiteral("blocker"), "a file, not a folder");
    const CliResult result = run({QStringLiteral("--output"), blocker + QStringLiteral("/out"),
                                  m_dir.filePath(QStringLiteral("photo.png"))});
    EXPECT_EQ(result.exitCode, 1);
    const QJsonObject line = result.lines.value(QStringLiteral("photo.png"));
    EXPECT_EQ(line[QStringLiteral("status")].toString(), QStringLiteral("error"));
    EXPECT_FALSE(line[QStringLiteral("error")].toString().isEmpty());
    EXPECT_FALSE(QFileInfo::exists(blocker + QStringLiteral("/out")));
}

} // namespace
} // namespace glintwork
