#include <gtest/gtest.h>

#include <csignal>

#include <QCoreApplication>
#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include "compress/ToolManager.h"
#include "platform/ImageServices.h"
#include "support/TestSupport.h"
#include "upscale/DnnUpscaler.h"

namespace glintwork {
namespace {

struct Result {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

QString cliPath() {
    return QCoreApplication::applicationDirPath() + QStringLiteral("/glintwork-cli");
}

Result runCli(const QStringList& arguments) {
    QProcess process;
    process.start(cliPath(), arguments);
    process.waitForFinished(60000);
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            process.readAllStandardOutput(), process.readAllStandardError()};
}

QString writeImage(const test::ScratchDir& dir, const QString& name, int width, int height) {
    Image image = Image::make(width, height, 8, AlphaInfo::none, ColorSpace::sRGB(), 3);
    for (std::size_t i = 0; i < image.pixels.size(); ++i)
        image.pixels[i] = static_cast<std::uint8_t>((i * 37) % 251);
    const QString path = dir.filePath(name);
    QDir().mkpath(QFileInfo(path).absolutePath());
    ImageServices::writePNG(image, path);
    return path;
}

QList<QJsonObject> jsonLines(const QByteArray& out) {
    QList<QJsonObject> objects;
    for (const QByteArray& line : out.split('\n')) {
        if (line.trimmed().isEmpty())
            continue;
        const QJsonDocument doc = QJsonDocument::fromJson(line);
        EXPECT_TRUE(doc.isObject()) << "not JSON: " << line.toStdString();
        objects.append(doc.object());
    }
    return objects;
}

TEST(Cli, UsageErrorsExitWithTwo) {
    const struct {
        QStringList args;
        int exit;
        bool usageOnStdout;
    } cases[] = {
        {{}, 2, false},
        {{QStringLiteral("--help")}, 0, true},
        {{QStringLiteral("upscale"), QStringLiteral("--help")}, 0, true},
        {{QStringLiteral("compress"), QStringLiteral("-h")}, 0, true},
        {{QStringLiteral("frobnicate"), QStringLiteral("x.png")}, 2, false},
        {{QStringLiteral("compress")}, 2, false},
        {{QStringLiteral("compress"), QStringLiteral("--quality"), QStringLiteral("101"), QStringLiteral("x.png")}, 2, false},
        {{QStringLiteral("compress"), QStringLiteral("--format"), QStringLiteral("jpg"), QStringLiteral("x.png")}, 2, false},
        {{QStringLiteral("compress"), QStringLiteral("--bogus"), QStringLiteral("x.png")}, 2, false},
        {{QStringLiteral("compress"), QStringLiteral("--shard"), QStringLiteral("2/2"), QStringLiteral("x.png")}, 2, false},
        {{QStringLiteral("compress"), QStringLiteral("--start"), QStringLiteral("abc"), QStringLiteral("x.png")}, 2, false},
        {{QStringLiteral("compress"), QStringLiteral("--quality")}, 2, false},
        {{QStringLiteral("upscale"), QStringLiteral("--fast"), QStringLiteral("--style"), QStringLiteral("anime"), QStringLiteral("x.png")}, 2, false},
        {{QStringLiteral("upscale"), QStringLiteral("--fast=yes"), QStringLiteral("x.png")}, 2, false},
    };
    for (const auto& c : cases) {
        const Result result = runCli(c.args);
        EXPECT_EQ(result.exitCode, c.exit) << c.args.join(QLatin1Char(' ')).toStdString();
        EXPECT_EQ(result.out.contains("usage:"), c.usageOnStdout) << c.args.join(QLatin1Char(' ')).toStdString();
        if (c.exit == 2) {
            EXPECT_TRUE(result.err.contains("usage:"));
        }
    }
}

TEST(Cli, CompressFolderToPNGReportsEachFileAsJSON) {
    test::ScratchDir dir;
    writeImage(dir, QStringLiteral("in/a.png"), 40, 30);
    writeImage(dir, QStringLiteral("in/sub/b.png"), 20, 10);
    dir.writeFile(QStringLiteral("in/broken.png"), "not an image");
    const Result result =
        runCli({QStringLiteral("compress"), QStringLiteral("--format"), QStringLiteral("png"),
                QStringLiteral("--json"), QStringLiteral("--output"), dir.filePath(QStringLiteral("out")),
                dir.filePath(QStringLiteral("in"))});
    EXPECT_EQ(result.exitCode, 1) << result.err.toStdString();
    const auto objects = jsonLines(result.out);
    ASSERT_EQ(objects.size(), 3) << result.out.toStdString();
    int completed = 0;
    for (const QJsonObject& o : objects) {
        const QString input = o[QStringLiteral("input")].toString();
        if (input.endsWith(QStringLiteral("broken.png"))) {
            EXPECT_EQ(o[QStringLiteral("status")].toString(), QStringLiteral("error"));
            EXPECT_EQ(o[QStringLiteral("error")].toString(), QStringLiteral("Image decoding failed"));
            EXPECT_TRUE(o[QStringLiteral("output")].isNull());
            continue;
        }
        ++completed;
        EXPECT_EQ(o[QStringLiteral("status")].toString(), QStringLiteral("completed"));
        const QString output = o[QStringLiteral("output")].toString();
        EXPECT_TRUE(output.startsWith(dir.filePath(QStringLiteral("out/"))));
        EXPECT_EQ(o[QStringLiteral("outputSize")].toInteger(), QFileInfo(output).size());
        const auto properties = ImageServices::readProperties(output);
        ASSERT_TRUE(properties.has_value());
        EXPECT_EQ(properties->pixelWidth, o[QStringLiteral("pixelWidth")].toInt());
    }
    EXPECT_EQ(completed, 2);
}

TEST(Cli, ShardsSplitTheCollectedList) {
    test::ScratchDir dir;
    QStringList inputs;
    for (int i = 0; i < 5; ++i)
        inputs << writeImage(dir, QStringLiteral("in/f%1.png").arg(i), 8, 8);
    QStringList seen;
    for (int shard = 0; shard < 2; ++shard) {
        const QStringList arguments{QStringLiteral("compress"), QStringLiteral("--format"),
                                    QStringLiteral("png"), QStringLiteral("--json"),
                                    QStringLiteral("--shard"), QStringLiteral("%1/2").arg(shard),
                                    QStringLiteral("--output"), dir.filePath(QStringLiteral("out"))};
        const Result result = runCli(arguments + inputs);
        EXPECT_EQ(result.exitCode, 0) << result.err.toStdString();
        const auto objects = jsonLines(result.out);
        EXPECT_EQ(objects.size(), shard == 0 ? 3 : 2);
        for (const auto& o : objects)
            seen << o[QStringLiteral("input")].toString();
    }
    seen.sort();
    EXPECT_EQ(seen, inputs);
}

TEST(Cli, FastUpscaleRunsTheFastNetwork) {
    if (!DnnUpscaler::modelURL(UpscaleModel::x4fast))
        GTEST_SKIP() << "the fast 4x network is not installed (scripts/setup-models installs it)";
    test::ScratchDir dir;
    const QString input = writeImage(dir, QStringLiteral("in/small.png"), 24, 16);
    const Result result = runCli({QStringLiteral("upscale"), QStringLiteral("--fast"), QStringLiteral("--scale"),
                                  QStringLiteral("4"), QStringLiteral("--json"), QStringLiteral("--output"),
                                  dir.filePath(QStringLiteral("out")), input});
    ASSERT_EQ(result.exitCode, 0) << result.err.toStdString();
    const auto lines = jsonLines(result.out);
    ASSERT_EQ(lines.size(), 1);
    const Image written =
        ImageServices::toRGBA8(ImageServices::decode(lines[0][QStringLiteral("output")].toString()));
    DnnUpscaler fast(UpscaleModel::x4fast);
    const Image expected = fast.upscale(ImageServices::toRGBA8(ImageServices::decode(input)), 4, {});
    ASSERT_EQ(written.width, expected.width);
    ASSERT_EQ(written.height, expected.height);
    EXPECT_EQ(written.pixels, expected.pixels);
}

TEST(Cli, CustomNamesAndNoReplacement) {
    if (!ToolManager::isToolAvailable(QStringLiteral("cwebp")))
        GTEST_SKIP() << "cwebp is not in Resources/bin (run scripts/setup)";
    test::ScratchDir dir;
    const QString a = writeImage(dir, QStringLiteral("a.png"), 16, 16);
    const QString b = writeImage(dir, QStringLiteral("b.png"), 16, 16);
    dir.writeFile(QStringLiteral("out/shot-07.webp"), "keep me");
    const Result result = runCli({QStringLiteral("compress"), QStringLiteral("--prefix"),
                                  QStringLiteral("shot"), QStringLiteral("--start"), QStringLiteral("07"),
                                  QStringLiteral("--output"), dir.filePath(QStringLiteral("out")), a, b});
    EXPECT_EQ(result.exitCode, 0) << result.err.toStdString();
    EXPECT_TRUE(QFileInfo::exists(dir.filePath(QStringLiteral("out/shot-07-1.webp"))));
    EXPECT_TRUE(QFileInfo::exists(dir.filePath(QStringLiteral("out/shot-08.webp"))));
    QFile kept(dir.filePath(QStringLiteral("out/shot-07.webp")));
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), QByteArray("keep me"));
    EXPECT_TRUE(result.out.contains(" -> ")) << result.out.toStdString();
}

TEST(Cli, InterruptCancelsAndLeavesNoPartialFiles) {
    test::ScratchDir dir;
    QStringList inputs;
    for (int i = 0; i < 40; ++i)
        inputs << writeImage(dir, QStringLiteral("in/f%1.png").arg(i), 600, 400);
    QProcess process;
    const QStringList arguments{QStringLiteral("compress"), QStringLiteral("--format"),
                                QStringLiteral("png"), QStringLiteral("--jobs"), QStringLiteral("1"),
                                QStringLiteral("--output"), dir.filePath(QStringLiteral("out"))};
    process.start(cliPath(), arguments + inputs);
    ASSERT_TRUE(process.waitForStarted());
    // Wait for the first finished file, then interrupt as Ctrl-C would.
    while (!process.canReadLine() && process.state() == QProcess::Running)
        process.waitForReadyRead(100);
    // Never kill(0): that would interrupt the whole process group, test runner included.
    const qint64 pid = process.processId();
    ASSERT_EQ(process.state(), QProcess::Running) << "finished before it could be interrupted";
    ASSERT_GT(pid, 0);
    ::kill(static_cast<pid_t>(pid), SIGINT);
    ASSERT_TRUE(process.waitForFinished(30000));
    EXPECT_EQ(process.exitCode(), 1);
    const QByteArray out = process.readAllStandardOutput();
    EXPECT_TRUE(out.contains(": cancelled")) << out.toStdString();
    const QStringList left = QDir(dir.filePath(QStringLiteral("out"))).entryList(QDir::Files | QDir::Hidden);
    for (const QString& name : left)
        EXPECT_TRUE(name.endsWith(QStringLiteral(".png")) && !name.startsWith(QLatin1Char('.')))
            << name.toStdString();
    EXPECT_LT(left.size(), 40);
}

} // namespace
} // namespace glintwork
