#include <gtest/gtest.h>

#include <csignal>
#include <sys/stat.h>
#include <vector>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QThread>

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

// Noise, so that no encoder finishes before a signal sent to the run arrives.
QString writeImage(const test::ScratchDir& dir, const QString& name, int width, int height) {
    Image image = Image::make(width, height, 8, AlphaInfo::none, ColorSpace::sRGB(), 3);
    std::uint32_t state = 12345;
    for (auto& byte : image.pixels) {
        state = state * 1664525u + 1013904223u;
        byte = static_cast<std::uint8_t>(state >> 24);
    }
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

// Inputs that cannot be used are records of their own, never a silent skip or a hang.
TEST(Cli, UnusableInputsAreErrorRecords) {
    test::ScratchDir dir;
    const QString png = writeImage(dir, QStringLiteral("ok.png"), 8, 8);
    const QString fifo = dir.filePath(QStringLiteral("pipe.png"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString dangling = dir.filePath(QStringLiteral("dangling.png"));
    ASSERT_TRUE(QFile::link(dir.filePath(QStringLiteral("nowhere.png")), dangling));
    const QString avif = dir.writeFile(QStringLiteral("photo.avif"), "x");
    const QString missing = dir.filePath(QStringLiteral("missing.png"));
    const struct {
        const char* tool;
        QStringList inputs;
        int completed;
    } cases[] = {
        {"compress", {missing, fifo, png, dangling}, 1},
        {"cutout", {avif}, 0},
        {"upscale", {missing}, 0},
    };
    for (const auto& c : cases) {
        QStringList arguments{QLatin1String(c.tool), QStringLiteral("--json"),
                              QStringLiteral("--output"), dir.filePath(QStringLiteral("out"))};
        if (QLatin1String(c.tool) == QLatin1String("compress"))
            arguments << QStringLiteral("--format") << QStringLiteral("png");
        const Result result = runCli(arguments + c.inputs);
        EXPECT_EQ(result.exitCode, 1) << c.tool;
        const auto objects = jsonLines(result.out);
        ASSERT_EQ(objects.size(), c.inputs.size()) << c.tool << result.out.toStdString();
        int completed = 0;
        for (const QJsonObject& o : objects) {
            if (o[QStringLiteral("input")].toString() == png) {
                completed += o[QStringLiteral("status")].toString() == QStringLiteral("completed");
                continue;
            }
            EXPECT_EQ(o[QStringLiteral("status")].toString(), QStringLiteral("error")) << c.tool;
            EXPECT_FALSE(o[QStringLiteral("error")].toString().isEmpty()) << c.tool;
        }
        EXPECT_EQ(completed, c.completed) << c.tool;
    }
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

QByteArray procFile(const QString& pid, const char* name) {
    QFile file(QStringLiteral("/proc/%1/%2").arg(pid, QLatin1String(name)));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool isLiving(const QString& pid) {
    const QByteArray stat = procFile(pid, "stat");
    const qsizetype close = stat.lastIndexOf(')');
    return close > 0 && stat.size() > close + 2 && stat[close + 2] != 'Z' && stat[close + 2] != 'X';
}

// Living processes other than the CLI whose command line names something under `folder`:
// the encoders it started, wherever they were reparented to.
QStringList processesUsing(const QString& folder, qint64 cli) {
    QStringList found;
    for (const QString& pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        if (pid.toLongLong() <= 0 || pid.toLongLong() == cli || !isLiving(pid))
            continue;
        const QByteArray commandLine = procFile(pid, "cmdline");
        if (commandLine.contains(folder.toUtf8()))
            found << pid + QLatin1Char(' ') + QString::fromUtf8(commandLine.split('\0').first());
    }
    return found;
}

QStringList childrenOf(qint64 parent) {
    QStringList found;
    for (const QString& pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        const QByteArray status = procFile(pid, "status");
        if (status.contains("\nPPid:\t" + QByteArray::number(parent) + '\n') && isLiving(pid))
            found << pid;
    }
    return found;
}

TEST(Cli, SignalsEndChildrenAndLeaveNoFiles) {
    const struct {
        const char* format;
        const char* tool;
        std::vector<int> signals;
    } cases[] = {
        {"avif", "avifenc", {SIGTERM}},
        {"jpeg", "cjpeg", {SIGHUP}},
        {"png", "oxipng", {SIGINT}},
        {"avif", "avifenc", {SIGINT, SIGINT}},
        {"webp", "cwebp", {SIGTERM, SIGTERM}},
        {"heic", "glintwork-heic-encoder", {SIGTERM}},
        // Nothing can be cleaned up after SIGKILL, but no encoder may go on writing.
        {"avif", "avifenc", {SIGKILL}},
    };
    for (const auto& c : cases) {
        const std::string label = std::string(c.format) + " with " +
                                  std::to_string(c.signals.size()) + " x signal " +
                                  std::to_string(c.signals.front());
        if (!ToolManager::isToolAvailable(QLatin1String(c.tool))) {
            ADD_FAILURE() << c.tool << " is not in Resources/bin (run scripts/setup)";
            continue;
        }
        test::ScratchDir dir;
        QDir().mkpath(dir.filePath(QStringLiteral("tmp")));
        const QStringList inputs{writeImage(dir, QStringLiteral("in/a.png"), 1600, 1200),
                                 writeImage(dir, QStringLiteral("in/b.png"), 1600, 1200)};
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("TMPDIR"), dir.filePath(QStringLiteral("tmp")));
        process.setProcessEnvironment(environment);
        process.start(cliPath(), QStringList{QStringLiteral("compress"), QStringLiteral("--format"),
                                             QLatin1String(c.format), QStringLiteral("--output"),
                                             dir.filePath(QStringLiteral("out"))} +
                                     inputs);
        ASSERT_TRUE(process.waitForStarted());
        const qint64 pid = process.processId();
        QStringList children;
        for (int i = 0; i < 2000 && children.isEmpty() && process.state() == QProcess::Running;
             ++i) {
            QThread::msleep(10);
            children = childrenOf(pid);
        }
        ASSERT_FALSE(children.isEmpty()) << label << ": no encoder started";
        // Never kill(0): that would signal the whole process group, test runner included.
        QElapsedTimer sinceSignal;
        sinceSignal.start();
        for (const int signal : c.signals)
            ::kill(static_cast<pid_t>(pid), signal);
        ASSERT_TRUE(process.waitForFinished(30000)) << label;
        // No encoder is waited for: each is ended (a HEIC file once took a minute).
        EXPECT_LT(sinceSignal.elapsed(), 5000) << label;

        QStringList left = processesUsing(dir.path(), pid);
        for (int i = 0; i < 100 && !left.isEmpty(); ++i) {
            QThread::msleep(10);
            left = processesUsing(dir.path(), pid);
        }
        EXPECT_TRUE(left.isEmpty()) << label << ": " << left.join(QLatin1Char(',')).toStdString();
        if (c.signals.front() == SIGKILL)
            continue;
        EXPECT_EQ(process.exitStatus(), QProcess::NormalExit) << label;
        EXPECT_EQ(process.exitCode(), 1) << label;
        const QStringList hidden = QDir(dir.filePath(QStringLiteral("out")))
                                       .entryList(QDir::Files | QDir::Hidden)
                                       .filter(QRegularExpression(QStringLiteral("^\\.")));
        EXPECT_TRUE(hidden.isEmpty())
            << label << ": " << hidden.join(QLatin1Char(',')).toStdString();
        const QStringList temporary =
            QDir(dir.filePath(QStringLiteral("tmp")))
                .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
        EXPECT_TRUE(temporary.isEmpty())
            << label << ": " << temporary.join(QLatin1Char(',')).toStdString();
        if (c.signals.size() == 1) {
            EXPECT_TRUE(process.readAllStandardOutput().contains(": cancelled")) << label;
        }
    }
}

} // namespace
} // namespace glintwork
