#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>

#include <unistd.h>

#include "support/TestImages.h"
#include "platform/ImageServices.h"
#include "support/TestSupport.h"

namespace glintwork {
namespace {

// glintwork-cli cutout --json with an empty resource folder, so that the built-in segmenter
// answers: the exit code, and the result lines by input file name.
std::pair<int, QHash<QString, QJsonObject>> runCutout(const test::ScratchDir& dir,
                                                      const QStringList& arguments) {
    QDir().mkpath(dir.filePath(QStringLiteral("resources")));
    const test::ResourceFolder resources(dir.filePath(QStringLiteral("resources")));
    QProcess process;
    process.start(QCoreApplication::applicationDirPath() + QStringLiteral("/glintwork-cli"),
                  QStringList{QStringLiteral("cutout"), QStringLiteral("--json")} + arguments);
    process.waitForFinished(120000);
    QHash<QString, QJsonObject> lines;
    for (const QByteArray& line : process.readAllStandardOutput().split('\n')) {
        const QJsonObject object = QJsonDocument::fromJson(line).object();
        if (!object.isEmpty())
            lines.insert(QFileInfo(object[QStringLiteral("input")].toString()).fileName(), object);
    }
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1, lines};
}

// Bad inputs fail each with its own text while the batch goes on; a 16-bit TIFF keeps every
// sample and its profile.
TEST(CutoutCli, EachFileEndsWithItsOwnResult) {
    if (!QFileInfo(QCoreApplication::applicationDirPath() + QStringLiteral("/glintwork-cli"))
             .isExecutable())
        GTEST_SKIP() << "glintwork-cli is not built beside the tests";
    const test::ScratchDir dir;
    dir.writeFile(QStringLiteral("in/broken.png"), "\x89PNG\r\n\x1a\n truncated");
    ImageServices::writePNG(test::solidImage(120, 90, {140, 140, 140, 255}),
                            dir.filePath(QStringLiteral("in/flat.png")));
    Image grey = Image::make(64, 48, 8, AlphaInfo::none, ColorSpace::deviceGray(), 1);
    test::fill(grey, [](int x, int y, int) { return (x + y * 64) % 97 + 50; });
    ImageServices::writeJPEG(grey, dir.filePath(QStringLiteral("in/grey.jpg")), 0.9);
    // A dark disc on a light backdrop in 16 bits, every sample distinct from its 8-bit value.
    const std::uint8_t light[3] = {230, 228, 220}, dark[3] = {40, 90, 30};
    const Image eight = test::discOnBackground(160, 120, light, dark, 0.3);
    Image source = Image::make(160, 120, 16, AlphaInfo::none, ColorSpace::sRGB(), 3);
    test::fill(source,
               [&](int x, int y, int c) { return eight.row(y)[3 * x + c] * 257 + (x + c) % 7; });
    source.colorSpace = ColorSpace::fromICC(ImageServices::sRGBProfile(), 3);
    ImageServices::writeTIFF(source, dir.filePath(QStringLiteral("in/deep.tiff")));

    const auto [exitCode, lines] =
        runCutout(dir, {QStringLiteral("--format"), QStringLiteral("tiff"),
                        QStringLiteral("--export-mask"), dir.filePath(QStringLiteral("in"))});
    EXPECT_EQ(exitCode, 1);
    ASSERT_EQ(lines.size(), 4);
    const std::pair<const char*, const char*> expected[] = {
        {"broken.png", "Could not read source image at broken.png."},
        {"flat.png", "No foreground subject was detected in the image."},
        {"grey.jpg", "Unsupported pixel format (bitsPerComponent=8, bitsPerPixel=8, alphaInfo=0)."},
        {"deep.tiff", ""}};
    for (const auto& [name, error] : expected) {
        SCOPED_TRACE(name);
        const QJsonObject line = lines.value(QLatin1String(name));
        EXPECT_EQ(line[QStringLiteral("status")].toString(),
                  *error ? QStringLiteral("error") : QStringLiteral("completed"));
        EXPECT_EQ(line[QStringLiteral("error")].toString(), QLatin1String(error));
    }
    const QString output =
        lines.value(QStringLiteral("deep.tiff"))[QStringLiteral("output")].toString();
    EXPECT_EQ(QFileInfo(output).fileName(), QStringLiteral("deep-cutout.tiff"));
    const Image cutout = ImageServices::decode(output);
    EXPECT_EQ(cutout.colorSpace.iccProfile, source.colorSpace.iccProfile);
    ASSERT_EQ(cutout.bitsPerComponent, 16);
    for (int y = 0; y < 120; ++y)
        for (int x = 0; x < 160; ++x)
            for (int c = 0; c < 3; ++c)
                ASSERT_EQ(test::component(cutout, x, y, c), test::component(source, x, y, c))
                    << x << "," << y;
    EXPECT_TRUE(QFileInfo::exists(dir.filePath(QStringLiteral("in/deep-cutout-mask.png"))));
}

// A mask that cannot be written (the disk fills between the cut-out and its mask) leaves the
// file completed, with the warning in its record, and the run's status is 1.
TEST(CutoutCli, AMaskThatFailsIsAWarning) {
    if (!QFileInfo(QCoreApplication::applicationDirPath() + QStringLiteral("/glintwork-cli"))
             .isExecutable())
        GTEST_SKIP() << "glintwork-cli is not built beside the tests";
    if (::geteuid() != 0 || QStandardPaths::findExecutable(QStringLiteral("unshare")).isEmpty())
        GTEST_SKIP() << "a small tmpfs of its own needs root and unshare";
    const test::ScratchDir dir;
    const std::uint8_t light[3] = {230, 228, 220}, dark[3] = {40, 90, 30};
    const QString input = dir.filePath(QStringLiteral("disc.png"));
    ImageServices::writePNG(test::discOnBackground(160, 120, light, dark, 0.3), input);
    const auto [probeExit, probe] =
        runCutout(dir, {QStringLiteral("-o"), dir.filePath(QStringLiteral("probe")), input});
    ASSERT_EQ(probeExit, 0);
    const qint64 pages =
        (probe.value(QStringLiteral("disc.png"))[QStringLiteral("outputSize")].toInteger() + 4095) /
        4096;

    // On a tmpfs of its own, filled up but for the cut-out's own pages.
    QDir().mkpath(dir.filePath(QStringLiteral("resources")));
    const test::ResourceFolder resources(dir.filePath(QStringLiteral("resources")));
    const QString disk = dir.filePath(QStringLiteral("disk"));
    QDir().mkpath(disk);
    QProcess process;
    process.start(QStringLiteral("unshare"),
                  {QStringLiteral("-m"), QStringLiteral("/bin/sh"), QStringLiteral("-c"),
                   QStringLiteral("mount -t tmpfs -o size=4m tmpfs \"$1\" && head -c $(($2 * "
                                  "4096)) /dev/zero > \"$1/room\" && "
                                  "{ cat /dev/zero > \"$1/fill\" 2>/dev/null; rm \"$1/room\"; } && "
                                  "exec \"$0\" cutout --json --export-mask -o \"$1\" \"$3\""),
                   QCoreApplication::applicationDirPath() + QStringLiteral("/glintwork-cli"), disk,
                   QString::number(pages), input});
    ASSERT_TRUE(process.waitForFinished(120000));
    const QJsonObject record = QJsonDocument::fromJson(process.readAllStandardOutput()).object();
    EXPECT_EQ(process.exitCode(), 1) << process.readAllStandardError().toStdString();
    EXPECT_EQ(record[QStringLiteral("status")].toString(), QStringLiteral("completed"));
    EXPECT_TRUE(record[QStringLiteral("error")].isNull());
    EXPECT_TRUE(record[QStringLiteral("warning")].toString().startsWith(
        QStringLiteral("Mask export failed: ")))
        << QJsonDocument(record).toJson().toStdString();
}

} // namespace
} // namespace glintwork
