#include <gtest/gtest.h>

#include <csignal>
#include <sys/stat.h>
#include <vector>

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
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

Result runCli(const QStringList& arguments, const QString& program = cliPath(),
              const QString& workingDirectory = {}) {
    QProcess process;
    process.setWorkingDirectory(workingDirectory);
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

QStringList namesIn(const QString& folder) {
    QStringList names;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        names << QDir(folder).relativeFilePath(it.next());
    names.sort();
    return names;
}

// What each kind of command line does: asked-for help goes to standard output and succeeds,
// a mistake is named on standard error with status 2, short and long forms are the same, and
// "--" makes anything after it a name.
TEST(Cli, CommandLines) {
    test::ScratchDir dir;
    const QString image = writeImage(dir, u"a.png"_s, 8, 8);
    writeImage(dir, u"-dash.png"_s, 8, 8);
    dir.writeFile(u"--help"_s, "not an image");
    const struct {
        QStringList arguments;
        int exitCode;
        const char* out; // expected in standard output, or nothing there when empty
        const char* err;
    } cases[] = {
        {{u"--help"_s}, 0, "Subcommands:", ""},
        {{u"-h"_s}, 0, "Subcommands:", ""},
        {{u"-V"_s}, 0, "glintwork-cli 0.1.0", ""},
        {{u"--version"_s}, 0, "glintwork-cli 0.1.0", ""},
        {words("compress --help"), 0, "Default: 80.", ""},
        {words("help cutout"), 0, "--export-mask", ""},
        {words("upscale -h"), 0, "-s, --scale FACTOR", ""},
        {{}, 2, "", "usage:"},
        {words("frobnicate x.png"), 2, "", "unknown subcommand 'frobnicate'"},
        {words("compress"), 2, "", "no files or folders given"},
        {words("compress --quality"), 2, "", "Missing value after '--quality'"},
        {words("compress -q 101 x.png"), 2, "", "--quality needs a whole number from 0 to 100"},
        {words("compress --format jpg x.png"), 2, "", "not 'jpg'"},
        {words("compress -x x.png"), 2, "", "Unknown option 'x'"},
        {words("compress --bogus x.png"), 2, "", "Unknown option 'bogus'"},
        {words("cutout --quality 5 x.png"), 2, "", "Unknown option 'quality'"},
        {words("compress --shard 2/2 x.png"), 2, "", "--shard"},
        {words("compress --start abc x.png"), 2, "", "--start takes up to six digits"},
        {words("compress --output= x.png"), 2, "", "--output needs a folder"},
        {{u"compress"_s, u"-o"_s, QString(), u"x.png"_s}, 2, "", "--output needs a folder"},
        {words("compress --progress x.png"), 2, "", "--progress"},
        {words("upscale --style manga x.png"), 2, "", "--style must be auto, general or anime"},
        {words("upscale --fast=yes x.png"), 2, "", "Unexpected value after '--fast'"},
        {words("compress - x.png"), 2, "", "standard input"},
        {words("compress -"), 2, "", "needs --output"},
        {words("compress --json -o - x.png"), 2, "", "standard output"},
        {{u"compress"_s, u"-o"_s, u"-"_s, image, image}, 2, "", "--output - writes one result"},
        {{u"compress"_s, u"-fpng"_s, u"-q90"_s, u"-j1"_s, u"-o"_s, dir.filePath(u"short"_s), image},
         0,
         "short/a.png",
         ""},
        {{u"compress"_s, u"--format=png"_s, u"--quality=90"_s, u"--jobs=1"_s, u"--output"_s,
          dir.filePath(u"long"_s), image},
         0,
         "long/a.png",
         ""},
        {{u"compress"_s, u"-o"_s, dir.filePath(u"dash"_s), u"--"_s, dir.filePath(u"-dash.png"_s)},
         0,
         "dash/-dash.webp",
         ""},
        {{u"compress"_s, u"--json"_s, u"--progress"_s, u"-o"_s, dir.filePath(u"progress"_s), image},
         0,
         "\"status\":\"progress\",\"progress\":0.000,\"filesDone\":0,\"filesTotal\":1",
         ""},
        {{u"compress"_s, u"-o"_s, dir.filePath(u"dash"_s), u"--"_s, u"--help"_s},
         1,
         "",
         "--help: error: Not a file type this tool takes"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments.join(u' ').toStdString());
        const Result result = runCli(c.arguments, cliPath(), dir.path());
        EXPECT_EQ(result.exitCode, c.exitCode) << result.err.toStdString();
        EXPECT_TRUE(*c.out ? result.out.contains(c.out) : result.out.isEmpty())
            << result.out.toStdString();
        EXPECT_TRUE(result.err.contains(c.err)) << result.err.toStdString();
    }
    // Each subcommand's help is its own.
    EXPECT_FALSE(runCli(words("upscale --help")).out.contains("-q, --quality"));
    EXPECT_EQ(QFileInfo(dir.filePath(u"short/a.png"_s)).size(),
              QFileInfo(dir.filePath(u"long/a.png"_s)).size());
}

// Folders are walked; every input, usable or not, is a record of its own, never a silent skip
// or a hang; a completed one names its output and what it is.
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
    const struct {
        const char* command;
        QStringList inputs;
        int records, completed, exitCode;
    } cases[] = {
        {"compress --format png", {dir.filePath(u"in"_s), missing, fifo, dangling}, 6, 2, 1},
        {"cutout", {dir.writeFile(u"photo.avif"_s, "x")}, 1, 0, 1},
        {"upscale", {missing}, 1, 0, 1},
    };
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
            if (o[u"status"_s].toString() == u"completed"_s) {
                ++completed;
                EXPECT_TRUE(output.startsWith(out + u"/"_s));
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
    // The sub-folder is kept below the output folder.
    EXPECT_TRUE(QFileInfo::exists(out + u"/sub/b.png"_s));
}

// Shards split by each file's path below the folder given, not by listing order: the shards
// of two copies of a tree made in different orders hold the same names, and together every
// file (and every problem) exactly once.
TEST(Cli, ShardsCoverEveryFileExactlyOnce) {
    test::ScratchDir dir;
    QStringList expected;
    for (int i = 0; i < 24; ++i)
        expected << u"%1/f%2.png"_s.arg(i % 3 ? u"deep/er"_s : u"top"_s).arg(i);
    for (qsizetype i = 0; i < expected.size(); ++i) {
        writeImage(dir, u"one/"_s + expected[i], 4, 4);
        writeImage(dir, u"two/"_s + expected[expected.size() - 1 - i], 4, 4);
    }
    dir.writeFile(u"one/broken.png"_s, "x");
    dir.writeFile(u"two/broken.png"_s, "x");
    expected << u"broken.png"_s;
    expected.sort();
    constexpr int kShards = 4;
    for (const QString& tree : {u"one"_s, u"two"_s}) {
        QStringList seen;
        for (int shard = 0; shard < kShards; ++shard) {
            const QString root = dir.filePath(tree);
            const Result result = runCli({u"compress"_s, u"--json"_s, u"--shard"_s,
                                          u"%1/%2"_s.arg(shard).arg(kShards), u"-o"_s,
                                          dir.filePath(u"out-"_s + tree), root});
            for (const QJsonObject& o : jsonLines(result.out))
                seen << QDir(root).relativeFilePath(o[u"input"_s].toString());
            EXPECT_LT(jsonLines(result.out).size(), expected.size()) << "one shard took everything";
        }
        seen.sort();
        EXPECT_EQ(seen.join(u' '), expected.join(u' ')) << tree.toStdString();
    }
    EXPECT_EQ(namesIn(dir.filePath(u"out-one"_s)).join(u' '),
              namesIn(dir.filePath(u"out-two"_s)).join(u' '));
}

// A second run over the same folder never takes the first run's outputs as inputs;
// --skip-existing leaves out inputs whose output name is taken; with --output, files keep
// their sub-folder, so two x.png never race for one name, and an output folder inside the
// input folder is not searched.
TEST(Cli, RunningTwiceIsSafe) {
    test::ScratchDir dir;
    writeImage(dir, u"in/a.png"_s, 8, 8);
    writeImage(dir, u"in/p/x.png"_s, 8, 8);
    writeImage(dir, u"in/q/x.png"_s, 8, 8);
    const QString in = dir.filePath(u"in"_s);
    const auto statuses = [](const Result& result) {
        QStringList found;
        for (const QJsonObject& o : jsonLines(result.out))
            found << QFileInfo(o[u"input"_s].toString()).fileName() + u' ' +
                         o[u"status"_s].toString();
        found.sort();
        return found;
    };
    const QStringList compress = words("compress --json -j 1");
    EXPECT_EQ(runCli(compress + QStringList{in}).exitCode, 0);
    const Result second = runCli(compress + QStringList{in});
    EXPECT_EQ(second.exitCode, 0);
    EXPECT_EQ(statuses(second).join(u", "_s),
              u"a.png completed, a.webp skipped, x.png completed, x.png completed, x.webp skipped, "
              "x.webp skipped"_s);
    const Result third = runCli(compress + QStringList{u"--skip-existing"_s, in});
    EXPECT_EQ(third.exitCode, 0);
    EXPECT_EQ(statuses(third).filter(u"completed"_s).join(u", "_s), QString());
    EXPECT_EQ(namesIn(in).join(u' '),
              u"a-1.webp a.png a.webp p/x-1.webp p/x.png p/x.webp q/x-1.webp q/x.png q/x.webp"_s);

    const QString mirror = dir.filePath(u"mirror"_s);
    for (int run = 0; run < 2; ++run)
        EXPECT_EQ(
            runCli(compress + QStringList{u"--skip-existing"_s, u"-o"_s, mirror, in}).exitCode, 0);
    EXPECT_EQ(namesIn(mirror).join(u' '), u"a.webp p/x.webp q/x.webp"_s)
        << "earlier outputs were taken as inputs, or a taken name was numbered";

    writeImage(dir, u"fresh/x.png"_s, 8, 8);
    const QString fresh = dir.filePath(u"fresh"_s);
    for (int run = 0; run < 2; ++run)
        EXPECT_EQ(runCli(words("compress -j 1 -f png -o") + QStringList{fresh + u"/out"_s, fresh})
                      .exitCode,
                  0);
    EXPECT_EQ(namesIn(fresh).join(u' '), u"out/x-1.png out/x.png x.png"_s);
}

// "-" reads one image from standard input and "--output -" writes the result to standard
// output, with nothing else there.
TEST(Cli, StandardInputAndOutput) {
    test::ScratchDir dir;
    const QString input = writeImage(dir, u"a.png"_s, 24, 16);
    QFile source(input);
    ASSERT_TRUE(source.open(QIODevice::ReadOnly));
    QProcess process;
    process.start(cliPath(), words("compress -f png - -o -"));
    process.write(source.readAll());
    process.closeWriteChannel();
    ASSERT_TRUE(process.waitForFinished(60000));
    EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
    const QString written = dir.writeFile(u"written.png"_s, process.readAllStandardOutput());
    const auto properties = ImageServices::readProperties(written);
    ASSERT_TRUE(properties.has_value());
    EXPECT_EQ(properties->pixelWidth, 24);
    EXPECT_EQ(properties->pixelHeight, 16);
}

// A closed pipe or a full disk on standard output stops the run as a cancel would: status 1,
// no hidden part file left behind.
TEST(Cli, UnwritableStandardOutputStopsTheRun) {
    test::ScratchDir dir;
    for (int i = 0; i < 8; ++i)
        writeImage(dir, u"in/f%1.png"_s.arg(i), 400, 300);
    const QString in = dir.filePath(u"in"_s);
    QProcess shell;
    shell.start(u"/bin/bash"_s,
                {u"-c"_s,
                 u"\"$0\" compress -j 2 -f avif --json \"$1\" | head -n 1 >/dev/null; "
                 "exit ${PIPESTATUS[0]}"_s,
                 cliPath(), in});
    ASSERT_TRUE(shell.waitForFinished(60000));
    EXPECT_EQ(shell.exitCode(), 1) << shell.readAllStandardError().toStdString();
    EXPECT_EQ(namesIn(in).filter(u".part"_s), QStringList());
    if (QFileInfo::exists(u"/dev/full"_s)) {
        QProcess full;
        full.setStandardOutputFile(u"/dev/full"_s);
        full.start(cliPath(), words("compress -f png --json") + QStringList{in + u"/f0.png"_s});
        ASSERT_TRUE(full.waitForFinished(60000));
        EXPECT_EQ(full.exitCode(), 1);
    }
}

// A file name that is not valid UTF-8 is processed, found in a folder or named, and its
// record gives its bytes back (\udcXX for each byte that does not decode).
TEST(Cli, NamesThatAreNotUtf8AreProcessed) {
    test::ScratchDir dir;
    const QString valid = writeImage(dir, u"in/plain.png"_s, 8, 8);
    const QByteArray raw = QFile::encodeName(dir.filePath(u"in"_s)) + "/bad\xff\xfe.png";
    ASSERT_EQ(::link(QFile::encodeName(valid).constData(), raw.constData()), 0);
    for (const bool named : {false, true}) {
        SCOPED_TRACE(named ? "named" : "found in a folder");
        // QProcess would pass U+FFFD for the bytes; the shell's printf makes them.
        QProcess process;
        process.start(
            u"/bin/sh"_s,
            {u"-c"_s,
             named
                 ? u"exec \"$0\" compress -f png --json -o \"$1\" \"$(printf '%s/bad\\377\\376.png' \"$2\")\""_s
                 : u"exec \"$0\" compress -f png --json -o \"$1\" \"$2\""_s,
             cliPath(), dir.filePath(named ? u"named"_s : u"walked"_s), dir.filePath(u"in"_s)});
        ASSERT_TRUE(process.waitForFinished(60000));
        const QByteArray out = process.readAllStandardOutput();
        EXPECT_EQ(process.exitCode(), 0)
            << out.toStdString() << process.readAllStandardError().toStdString();
        EXPECT_TRUE(out.contains("/in/bad\\udcff\\udcfe.png\",\"output\"")) << out.toStdString();
        EXPECT_EQ(out.count("\"completed\""), named ? 1 : 2) << out.toStdString();
    }
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
    EXPECT_TRUE(result.err.contains(
        "a.png: error: The program's resource folder is missing from the installation.\n"));
    EXPECT_TRUE(result.out.isEmpty());
}

QByteArray procFile(const QString& pid, const char* name) {
    return test::contents(u"/proc/%1/%2"_s.arg(pid, QLatin1String(name)));
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
        EXPECT_TRUE(c.signals.size() > 1 || process.readAllStandardError().contains(": cancelled"));
    }
}

} // namespace
} // namespace glintwork
