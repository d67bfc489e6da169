#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>

#include <unistd.h>

#include "cutout/BackgroundRemover.h"
#include "support/TestImages.h"
#include "platform/ImageServices.h"
#include "support/TestSupport.h"

namespace glintwork {
namespace {

QString cliPath() {
    return QCoreApplication::applicationDirPath() + QStringLiteral("/glintwork-cli");
}

#define SKIP_WITHOUT_CLI()                                                                         \
    if (!QFileInfo(cliPath()).isExecutable())                                                      \
    GTEST_SKIP() << "glintwork-cli is not built beside the tests"

// glintwork-cli cutout --json with an empty resource folder, so that the built-in segmenter
// answers: the exit code, and the result lines by input file name.
std::pair<int, QHash<QString, QJsonObject>> runCutout(const test::ScratchDir& dir,
                                                      const QStringList& arguments) {
    QDir().mkpath(dir.filePath(QStringLiteral("resources")));
    const test::ResourceFolder resources(dir.filePath(QStringLiteral("resources")));
    QProcess process;
    process.start(cliPath(), QStringList{QStringLiteral("cutout"), QStringLiteral("--json")} + arguments);
    process.waitForFinished(120000);
    QHash<QString, QJsonObject> lines;
    for (const QByteArray& line : process.readAllStandardOutput().split('\n')) {
        const QJsonObject object = QJsonDocument::fromJson(line).object();
        if (!object.isEmpty())
            lines.insert(QFileInfo(object[QStringLiteral("input")].toString()).fileName(), object);
    }
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1, lines};
}

// A file without a subject fails with its own text while the batch goes on; a 16-bit TIFF
// keeps every sample and its profile, and CMYK comes out as its sRGB rendering.
TEST(CutoutCli, EachFileEndsWithItsOwnResult) {
    SKIP_WITHOUT_CLI();
    const QByteArray cmykProfile = test::ghostscriptProfile(QStringLiteral("default_cmyk.icc"));
    if (cmykProfile.isEmpty())
        GTEST_SKIP() << "default_cmyk.icc is not installed (Debian package libgs10-common)";
    const test::ScratchDir dir;
    QDir().mkpath(dir.filePath(QStringLiteral("in")));
    ImageServices::writePNG(test::solidImage(120, 90, {140, 140, 140, 255}), dir.filePath(QStringLiteral("in/flat.png")));
    // A dark disc on a light backdrop in 16 bits, every sample distinct from its 8-bit value.
    const std::uint8_t light[3] = {230, 228, 220}, dark[3] = {40, 90, 30};
    const Image eight = test::discOnBackground(160, 120, light, dark, 0.3);
    Image cmyk = Image::make(160, 120, 8, AlphaInfo::none, ColorSpace::fromICC(cmykProfile, 4), 4);
    test::fill(cmyk, [&](int x, int y, int c) { return c == 3 ? 0 : 255 - eight.row(y)[3 * x + c]; });
    ImageServices::writeJPEG(cmyk, dir.filePath(QStringLiteral("in/cmyk.jpg")), 0.95);
    Image source = Image::make(160, 120, 16, AlphaInfo::none, ColorSpace::sRGB(), 3);
    test::fill(source,
               [&](int x, int y, int c) { return eight.row(y)[3 * x + c] * 257 + (x + c) % 7; });
    source.colorSpace = ColorSpace::fromICC(ImageServices::sRGBProfile(), 3);
    ImageServices::writeTIFF(source, dir.filePath(QStringLiteral("in/deep.tiff")));

    const auto [exitCode, lines] =
        runCutout(dir, {QStringLiteral("--format"), QStringLiteral("tiff"),
                        QStringLiteral("--export-mask"), dir.filePath(QStringLiteral("in"))});
    EXPECT_EQ(exitCode, 1);
    ASSERT_EQ(lines.size(), 3);
    const std::pair<const char*, const char*> expected[] = {
        {"flat.png", "No foreground subject was detected in the image."},
        {"cmyk.jpg", ""},
        {"deep.tiff", ""}};
    for (const auto& [name, error] : expected) {
        SCOPED_TRACE(name);
        const QJsonObject line = lines.value(QLatin1String(name));
        EXPECT_EQ(line[QStringLiteral("status")].toString(), *error ? QStringLiteral("error") : QStringLiteral("completed"));
        EXPECT_EQ(line[QStringLiteral("error")].toString(), QString::fromUtf8(error));
    }
    const Image cmykCutout = ImageServices::decode(lines.value(QStringLiteral("cmyk.jpg"))[QStringLiteral("output")].toString());
    const Image rendered = ImageServices::toRGBA8(ImageServices::decode(dir.filePath(QStringLiteral("in/cmyk.jpg"))));
    ASSERT_EQ(cmykCutout.colorComponentsPerPixel(), 3);
    EXPECT_EQ(test::pixelAt(cmykCutout, 80, 60)[1], test::pixelAt(rendered, 80, 60)[1]);
    EXPECT_EQ(test::pixelAt(cmykCutout, 80, 60)[3], 255) << "the disc is the subject";
    const QString output = lines.value(QStringLiteral("deep.tiff"))[QStringLiteral("output")].toString();
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
    SKIP_WITHOUT_CLI();
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

    // On a tmpfs of its own, filled up but for the cut-out's own pages. A container may refuse
    // new mount namespaces even to root: status 77 then.
    const test::ResourceFolder resources(dir.filePath(QStringLiteral("resources")));
    const QString disk = dir.filePath(QStringLiteral("disk"));
    QDir().mkpath(disk);
    QProcess process;
    process.start(QStringLiteral("unshare"),
                  {QStringLiteral("-m"), QStringLiteral("/bin/sh"), QStringLiteral("-c"),
                   QStringLiteral("mount -t tmpfs -o size=4m tmpfs \"$1\" || exit 77; head -c $(($2 * "
                                  "4096)) /dev/zero > \"$1/room\" && "
                                  "{ cat /dev/zero > \"$1/fill\" 2>/dev/null; rm \"$1/room\"; } && "
                                  "exec \"$0\" cutout --json --export-mask -o \"$1\" \"$3\""),
                   cliPath(), disk, QString::number(pages), input});
    ASSERT_TRUE(process.waitForFinished(120000));
    if (process.exitCode() == 77)
        GTEST_SKIP() << "this machine refuses a tmpfs in a mount namespace of its own: "
                     << process.readAllStandardError().trimmed().toStdString();
    const QJsonObject record = QJsonDocument::fromJson(process.readAllStandardOutput()).object();
    EXPECT_EQ(process.exitCode(), 1) << process.readAllStandardError().toStdString();
    EXPECT_EQ(record[QStringLiteral("status")].toString(), QStringLiteral("completed"));
    EXPECT_TRUE(record[QStringLiteral("error")].isNull());
    EXPECT_TRUE(record[QStringLiteral("warning")].toString().startsWith(
        QStringLiteral("Mask export failed: ")))
        << QJsonDocument(record).toJson().toStdString();
}

// Loading the network is where a run needs the most memory at once; running out there is
// every file's clear error, not the end of the process.
TEST(CutoutCli, RunningOutOfMemoryWhileTheNetworkLoadsFailsEachFile) {
    SKIP_WITHOUT_CLI();
    const QString cli = cliPath();
    const auto model = BackgroundRemover::subjectModelPath();
    if (!model)
        GTEST_SKIP() << "the subject segmentation network is not installed (scripts/setup-models installs it)";
    const test::ScratchDir dir;
    QDir().mkpath(dir.filePath(QStringLiteral("resources/models")));
    for (const QString& suffix : {QStringLiteral(".onnx"), QStringLiteral(".json")})
        QFile::link(QFileInfo(*model).absolutePath() + QStringLiteral("/subject-segmentation") + suffix,
                    dir.filePath(QStringLiteral("resources/models/subject-segmentation") + suffix));
    QStringList inputs;
    for (const QString& name : {QStringLiteral("a.png"), QStringLiteral("b.png")}) {
        inputs << dir.filePath(name);
        ImageServices::writePNG(test::solidImage(64, 48, {140, 140, 140, 255}), inputs.back());
    }
    const test::ResourceFolder resources(dir.filePath(QStringLiteral("resources")));
    QProcess process;
    // 500 MB of address space starts the program but cannot hold the network's 176 MB twice.
    process.start(QStringLiteral("/bin/sh"),
                  QStringList{QStringLiteral("-c"), QStringLiteral("ulimit -v 500000 && exec \"$0\" \"$@\""), cli,
                              QStringLiteral("cutout"), QStringLiteral("--json"), QStringLiteral("--output"),
                              dir.filePath(QStringLiteral("out"))} + inputs);
    ASSERT_TRUE(process.waitForFinished(120000));
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), 1);
    int errors = 0;
    for (const QByteArray& line : process.readAllStandardOutput().split('\n')) {
        const QJsonObject object = QJsonDocument::fromJson(line).object();
        if (object.isEmpty())
            continue;
        // Decoding or preparing the pixels beside the load may run out first; either way the
        // file says why.
        const QString error = object[QStringLiteral("error")].toString();
        const bool networkSaysSo = error.startsWith(QStringLiteral("Subject detection failed: ")) &&
                                   error.contains(QStringLiteral("subject-segmentation.onnx")) &&
                                   error.contains(QStringLiteral("memory"), Qt::CaseInsensitive);
        EXPECT_TRUE(networkSaysSo || error.startsWith(QStringLiteral("Could not read source image")) ||
                    error == QStringLiteral("Not enough memory for this image."))
            << error.toStdString();
        errors += object[QStringLiteral("status")].toString() == QStringLiteral("error") ? 1 : 0;
    }
    EXPECT_EQ(errors, 2);
}

} // namespace
} // namespace glintwork
