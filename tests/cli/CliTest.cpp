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
#include <QThread>

#include "compress/ToolManager.h"
#include "platform/ImageServices.h"
#include "support/TestImages.h"
#include "support/TestSupport.h"
#include "upscale/DnnUpscaler.h"

namespace glintwork {
namespace {

using namespace Qt::StringLiterals;

struct Result {
    int exitCode = -1;
    QByteArray out, err;
};

QString cliPath() {
    return QCoreApplication::applicationDirPath() + u"/glintwork-cli"_s;
}

QStringList words(const char* text) {
    return QString::fromUtf8(text).split(u' ', Qt::SkipEmptyParts);
}

Result runCli(const QStringList& arguments, const QString& program = cliPath()) {
    QProcess process;
    process.start(program, arguments);
    process.waitForFinished(60000);
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            process.readAllStandardOutput(), process.readAllStandardError()};
}

// Noise, so that no encoder finishes before a signal sent to the run arrives.
QString writeImage(const test::ScratchDir& dir, const QString& name, int width, int height) {
    const QString path = dir.filePath(name);
    QDir().mkpath(QFileInfo(path).absolutePath());
    ImageServices::writePNG(test::noiseImage(width, height, 8, AlphaInfo::none, 3), path);
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

// Asked for, the usage goes to standard output and the program succeeds; after a mistake it
// goes to standard error and the exit status is 2.
TEST(Cli, UsageErrorsExitWithTwo) {
    for (const char* arguments :
         {"--help", "upscale --help", "compress -h", "", "frobnicate x.png", "compress",
          "compress --quality", "compress --quality 101 x.png", "compress --format jpg x.png",
          "compress --bogus x.png", "compress --shard 2/2 x.png", "compress --start abc x.png",
          "upscale --fast --style anime x.png", "upscale --fast=yes x.png"}) {
        SCOPED_TRACE(arguments);
        const bool asked =
            QByteArray(arguments).endsWith("help") || QByteArray(arguments).endsWith("-h");
        const Result result = runCli(words(arguments));
        EXPECT_EQ(result.exitCode, asked ? 0 : 2);
        EXPECT_TRUE((asked ? result.out : result.err).contains("usage:"));
        EXPECT_FALSE((asked ? result.err : result.out).contains("usage:"));
    }
}

// Folders are walked; every input, usable or not, is a record of its own, never a silent skip
// or a hang; a completed one names its output and what it is. Shards split the collected list
// between them: every item in exactly one, named from the prefix and start given.
TEST(Cli, EveryInputIsAJsonRecord) {
    test::ScratchDir dir;
    writeImage(dir, u"in/a.png"_s, 40, 30);
    writeImage(dir, u"in/sub/b.png"_s, 20, 10);
    dir.writeFile(u"in/broken.png"_s, "not an image");
    const QString fifo = dir.filePath(u"pipe.png"_s);
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString dangling = dir.filePath(u"dangling.png"_s);
    ASSERT_TRUE(QFile::link(dir.filePath(u"nowhere.png"_s), dangling));
    const QString missing = dir.filePath(u"missing.png"_s);
    const QString out = dir.filePath(u"out"_s);
    QStringList five;
    for (int i = 0; i < 5; ++i)
        five << writeImage(dir, u"five/f%1.png"_s.arg(i), 8, 8);
    const struct {
        const char* command;
        QStringList inputs;
        int records, completed, exitCode;
    } cases[] = {
        {"compress --format png", {dir.filePath(u"in"_s), missing, fifo, dangling}, 6, 2, 1},
        {"cutout", {dir.writeFile(u"photo.avif"_s, "x")}, 1, 0, 1},
        {"upscale", {missing}, 1, 0, 1},
        {"compress --format png --prefix shot --start 50 --shard 0/2", five, 3, 3, 0},
        {"compress --format png --prefix shot --start 50 --shard 1/2", five, 2, 2, 0},
    };
    QStringList sharded;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.command);
        const Result result =
            runCli(words(c.command) + QStringList{u"--json"_s, u"--output"_s, out} + c.inputs);
        EXPECT_EQ(result.exitCode, c.exitCode) << result.err.toStdString();
        const auto objects = jsonLines(result.out);
        ASSERT_EQ(objects.size(), c.records) << result.out.toStdString();
        int completed = 0;
        for (const QJsonObject& o : objects) {
            const QString output = o[u"output"_s].toString();
            if (c.inputs == five)
                sharded << o[u"input"_s].toString();
            if (o[u"status"_s].toString() == u"completed"_s) {
                ++completed;
                EXPECT_TRUE(output.startsWith(out + (c.inputs == five ? u"/shot-5"_s : u"/"_s)));
                EXPECT_EQ(o[u"outputSize"_s].toInteger(), QFileInfo(output).size());
                const auto properties = ImageServices::readProperties(output);
                ASSERT_TRUE(properties.has_value());
                EXPECT_EQ(properties->pixelWidth, o[u"pixelWidth"_s].toInt());
                continue;
            }
            EXPECT_EQ(o[u"status"_s].toString(), u"error"_s);
            EXPECT_TRUE(o[u"output"_s].isNull() && !o[u"error"_s].toString().isEmpty());
            if (o[u"input"_s].toString().endsWith(u"broken.png"_s)) {
                EXPECT_EQ(o[u"error"_s].toString(), u"Image decoding failed"_s);
            }
        }
        EXPECT_EQ(completed, c.completed);
    }
    sharded.sort();
    EXPECT_EQ(sharded, five);
}

TEST(Cli, FastUpscaleRunsTheFastNetwork) {
    if (!DnnUpscaler::modelURL(UpscaleModel::x4fast))
        GTEST_SKIP() << "the fast 4x network is not installed (scripts/setup-models installs it)";
    test::ScratchDir dir;
    const QString input = writeImage(dir, u"in/small.png"_s, 24, 16);
    const Result result = runCli(words("upscale --fast --scale 4 --json --output") +
                                 QStringList{dir.filePath(u"out"_s), input});
    ASSERT_EQ(result.exitCode, 0) << result.err.toStdString();
    const auto lines = jsonLines(result.out);
    ASSERT_EQ(lines.size(), 1);
    const Image written =
        ImageServices::toRGBA8(ImageServices::decode(lines[0][u"output"_s].toString()));
    DnnUpscaler fast(UpscaleModel::x4fast);
    const Image expected =
        fast.upscale(ImageServices::toRGBA8(ImageServices::decode(input)), 4, {});
    ASSERT_EQ(written.width, expected.width);
    ASSERT_EQ(written.height, expected.height);
    EXPECT_EQ(written.pixels, expected.pixels);
}

// The build tree always has Resources/ beside its executables, so the folder can only be
// missing for a copy somewhere else: deep enough that no installed layout
// (../share/glintwork) lies beside it.
TEST(Cli, WithoutAResourceFolderEachFileSaysSo) {
    test::ScratchDir dir;
    const QString copy = dir.filePath(u"deep/er/glintwork-cli"_s);
    ASSERT_TRUE(QDir().mkpath(QFileInfo(copy).path()) && QFile::copy(cliPath(), copy));
    const test::EnvironmentOverride noResources("GLINTWORK_RESOURCES", nullptr);
    const Result result = runCli(
        {u"compress"_s, u"--output"_s, dir.filePath(u"out"_s), writeImage(dir, u"a.png"_s, 8, 8)},
        copy);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(result.out.endsWith("a.png: error: The program's resource folder is missing from the installation.\n"));
}

QByteArray procFile(const QString& pid, const char* name) {
    QFile file(u"/proc/%1/%2"_s.arg(pid, QLatin1String(name)));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Living processes (not zombies) whose command line names something under `folder`, or whose
// parent is `parent`: the encoders the CLI started, wherever they were reparented to.
QStringList processes(const QString& folder, qint64 parent, qint64 cli = 0) {
    QStringList found;
    for (const QString& pid : QDir(u"/proc"_s).entryList(QDir::Dirs)) {
        const QByteArray stat = procFile(pid, "stat");
        const qsizetype close = stat.lastIndexOf(')');
        if (pid.toLongLong() <= 0 || pid.toLongLong() == cli || close < 0 ||
            stat.size() < close + 3 || stat[close + 2] == 'Z' || stat[close + 2] == 'X')
            continue;
        const QByteArray commandLine = procFile(pid, "cmdline");
        if ((!folder.isEmpty() && commandLine.contains(folder.toUtf8())) ||
            (parent &&
             procFile(pid, "status").contains("\nPPid:\t" + QByteArray::number(parent) + '\n')))
            found << pid + u' ' + QString::fromUtf8(commandLine.split('\0').first());
    }
    return found;
}

TEST(Cli, SignalsEndChildrenAndLeaveNoFiles) {
    const struct {
        const char* format;
        const char* tool;
        std::vector<int> signals;
    } cases[] = {{"avif", "avifenc", {SIGTERM}},
                 {"jpeg", "cjpeg", {SIGHUP}},
                 {"png", "oxipng", {SIGINT}},
                 {"avif", "avifenc", {SIGINT, SIGINT}},
                 {"webp", "cwebp", {SIGTERM, SIGTERM}},
                 {"heic", "glintwork-heic-encoder", {SIGTERM}},
                 // Nothing can be cleaned up after SIGKILL, but no encoder may go on writing.
                 {"avif", "avifenc", {SIGKILL}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.format) + ", " + std::to_string(c.signals.size()) +
                     " x signal " + std::to_string(c.signals.front()));
        if (!ToolManager::isToolAvailable(QLatin1String(c.tool))) {
            ADD_FAILURE() << c.tool << " is not in Resources/bin (run scripts/setup)";
            continue;
        }
        test::ScratchDir dir;
        QDir().mkpath(dir.filePath(u"tmp"_s));
        const QByteArray tmp = QFile::encodeName(dir.filePath(u"tmp"_s));
        const test::EnvironmentOverride tmpOverride("TMPDIR", &tmp);
        QProcess process;
        process.start(cliPath(), QStringList{u"compress"_s, u"--format"_s, QLatin1String(c.format),
                                             u"--output"_s, dir.filePath(u"out"_s),
                                             writeImage(dir, u"in/a.png"_s, 1600, 1200),
                                             writeImage(dir, u"in/b.png"_s, 1600, 1200)});
        ASSERT_TRUE(process.waitForStarted());
        const qint64 pid = process.processId();
        for (int i = 0;
             i < 2000 && processes({}, pid).isEmpty() && process.state() == QProcess::Running; ++i)
            QThread::msleep(10);
        ASSERT_FALSE(processes({}, pid).isEmpty()) << "no encoder started";
        // Never kill(0): that would signal the whole process group, test runner included.
        QElapsedTimer sinceSignal;
        sinceSignal.start();
        for (const int signal : c.signals)
            ::kill(static_cast<pid_t>(pid), signal);
        ASSERT_TRUE(process.waitForFinished(30000));
        // No encoder is waited for: each is ended (a HEIC file once took a minute).
        EXPECT_LT(sinceSignal.elapsed(), 5000);

        QStringList left = processes(dir.path(), 0, pid);
        for (int i = 0; i < 100 && !left.isEmpty(); ++i, QThread::msleep(10))
            left = processes(dir.path(), 0, pid);
        EXPECT_EQ(left, QStringList());
        if (c.signals.front() == SIGKILL)
            continue;
        EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(process.exitCode(), 1);
        EXPECT_EQ(QDir(dir.filePath(u"out"_s)).entryList({u".*"_s}, QDir::Files | QDir::Hidden),
                  QStringList());
        EXPECT_EQ(QDir(dir.filePath(u"tmp"_s))
                      .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                  QStringList());
        EXPECT_TRUE(c.signals.size() > 1 ||
                    process.readAllStandardOutput().contains(": cancelled"));
    }
}

} // namespace
} // namespace glintwork
