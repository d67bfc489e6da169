#include "cli/BatchCommand.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>

#include "cli/BatchReporter.h"
#include "naming/OutputNamer.h"
#include "platform/StopSignals.h"

namespace glintwork::cli {

namespace {

using namespace Qt::StringLiterals;

QString systemReason(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

bool decodes(const QByteArray& raw) {
    return QFile::encodeName(QFile::decodeName(raw)) == raw;
}

QByteArray baseName(const QByteArray& path) {
    return path.mid(path.lastIndexOf('/') + 1);
}

// A stable 64-bit FNV-1a hash: the same bytes give the same share on every machine.
quint64 stableHash(const QByteArray& bytes) {
    quint64 hash = 14695981039346656037ULL;
    for (const char c : bytes) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 1099511628211ULL;
    }
    return hash;
}

// Paths are handled as QString; a name that is not valid UTF-8 cannot be, so it is reached
// through a link ("stand-in") in a private folder, and shown by its own bytes. The private
// folder also holds standard input's image and a result bound for standard output.
class Paths {
public:
    QString privateFolder(const QString& name) {
        if (!m_dir) {
            m_dir = std::make_unique<QTemporaryDir>(QDir::tempPath() + u"/glintwork-cli-XXXXXX"_s);
            if (!m_dir->isValid())
                throw UsageError(u"could not make a private folder in %1: %2"_s.arg(
                    QDir::tempPath(), m_dir->errorString()));
        }
        const QString path = m_dir->filePath(name);
        QDir().mkpath(path);
        return path;
    }

    // A path that leads to `raw` (absolute): itself when it decodes, else a stand-in.
    QString reach(const QByteArray& raw) {
        if (decodes(raw))
            return QFile::decodeName(raw);
        struct stat info {};
        if (::lstat(raw.constData(), &info) != 0) { // nothing to lead to: reported as missing
            show(QFile::decodeName(raw), raw);
            return QFile::decodeName(raw);
        }
        const QString link = privateFolder(u"names/%1"_s.arg(m_standIns.size())) + u'/' +
                             QFile::decodeName(baseName(raw));
        if (::symlink(raw.constData(), QFile::encodeName(link).constData()) != 0)
            return QFile::decodeName(raw); // then reported as missing, with its bytes
        m_standIns.append({link, raw});
        return link;
    }

    void show(const QString& path, const QByteArray& shown) { m_shown.insert(path, shown); }

    // The bytes of the file `path` leads to, as the user knows it.
    [[nodiscard]] QByteArray display(const QString& path) const {
        if (const auto shown = m_shown.constFind(path); shown != m_shown.cend())
            return *shown;
        for (const auto& [link, raw] : m_standIns) {
            if (path == link)
                return raw;
            if (path.startsWith(link + u'/'))
                return raw + QFile::encodeName(path.mid(link.size()));
        }
        return QFile::encodeName(path);
    }

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QList<QPair<QString, QByteArray>> m_standIns;
    QHash<QString, QByteArray> m_shown;
};

// A PATH as given: where it leads, and whether it is a folder (files found in it keep their
// path below it).
struct Root {
    QString path;
    bool folder = false;
};

// Image files of one folder by stem, for telling earlier outputs.
struct Listing {
    QHash<QString, QStringList> imagesByStem;
    QSet<QString> names;
};

class EarlierOutputs {
public:
    EarlierOutputs(const OutputPlan& plan, const QSet<QString>& extensions)
        : m_plan(plan), m_extensions(extensions) {
        // The suffix exactly as the namer appends it (cleaned, "{scale}" replaced).
        const QString base = OutputNamer::computeBaseName(QUrl::fromLocalFile(u"/x"_s), plan.naming,
                                                          0, plan.scaleHint);
        m_suffix = base.mid(1);
        const QString prefix = sanitizeNameComponent(plan.naming.prefix);
        m_custom = QRegularExpression(
            u"^"_s + (prefix.isEmpty() ? QString() : QRegularExpression::escape(prefix) + u"-"_s) +
            u"[0-9]{2,}$"_s);
    }

    // `name` in `folder` is named as this run would name the output of another image there.
    bool contains(const QString& folder, const QString& name) {
        const Listing& listing = listingOf(folder);
        const qsizetype dot = name.lastIndexOf(u'.');
        if (dot <= 0)
            return false;
        const QString stem = name.left(dot);
        const QString extension = name.mid(dot + 1).toLower();
        if (extension == m_plan.extension && namesOutput(listing, stem, name))
            return true;
        if (m_plan.mask && extension == u"png"_s) {
            const QString owner = withoutNumber(stem);
            return owner.endsWith(u"-mask"_s) &&
                   listing.names.contains(owner.chopped(5) + u'.' + m_plan.extension);
        }
        return false;
    }

private:
    static QString withoutNumber(const QString& stem) {
        static const QRegularExpression numbered(u"^(.+)-[1-9][0-9]{0,2}$"_s);
        const auto match = numbered.match(stem);
        return match.hasMatch() ? match.captured(1) : stem;
    }

    bool namesOutput(const Listing& listing, const QString& stem, const QString& name) const {
        for (const QString& candidate : {stem, withoutNumber(stem)}) {
            switch (m_plan.naming.mode) {
            case NamingMode::original: {
                const QStringList sources = listing.imagesByStem.value(candidate);
                if (sources.size() > 1 || (sources.size() == 1 && sources.first() != name))
                    return true;
                break;
            }
            case NamingMode::suffix:
                if (!m_suffix.isEmpty() && candidate.endsWith(m_suffix) &&
                    listing.imagesByStem.contains(candidate.chopped(m_suffix.size())))
                    return true;
                break;
            case NamingMode::custom:
                if (m_custom.match(candidate).hasMatch())
                    return true;
                break;
            }
        }
        return false;
    }

    const Listing& listingOf(const QString& folder) {
        auto found = m_listings.find(folder);
        if (found != m_listings.end())
            return *found;
        Listing listing;
        // Read here rather than through QDir, which leaves out names that do not decode;
        // as sources they count by the name their outputs get (U+FFFD for each bad byte).
        QStringList names;
        if (DIR* dir = ::opendir(QFile::encodeName(folder).constData())) {
            while (const dirent* entry = ::readdir(dir)) {
                if (entry->d_name[0] != '.')
                    names.append(QFile::decodeName(entry->d_name));
            }
            ::closedir(dir);
        }
        for (const QString& name : names) {
            listing.names.insert(name);
            const qsizetype dot = name.lastIndexOf(u'.');
            if (dot > 0 && m_extensions.contains(name.mid(dot + 1).toLower()))
                listing.imagesByStem[name.left(dot)].append(name);
        }
        return *m_listings.insert(folder, listing);
    }

    const OutputPlan& m_plan;
    const QSet<QString>& m_extensions;
    QString m_suffix;
    QRegularExpression m_custom;
    QHash<QString, Listing> m_listings;
};

// The extension of an image read from standard input, from its first bytes.
QString sniffedExtension(const QByteArray& head) {
    if (head.startsWith("\x89PNG"))
        return u"png"_s;
    if (head.startsWith("\xFF\xD8\xFF"))
        return u"jpg"_s;
    if (head.startsWith("RIFF") && head.mid(8, 4) == "WEBP")
        return u"webp"_s;
    if (head.startsWith("GIF8"))
        return u"gif"_s;
    if (head.startsWith("II*") || head.startsWith("MM\0*"))
        return u"tiff"_s;
    if (head.startsWith("BM"))
        return u"bmp"_s;
    if (head.mid(4, 4) == "ftyp") {
        const QByteArray brand = head.mid(8, 4);
        if (brand == "avif" || brand == "avis")
            return u"avif"_s;
        if (brand == "heic" || brand == "heix" || brand == "mif1" || brand == "msf1")
            return u"heic"_s;
    }
    return {};
}

QString readStandardInput(Paths& paths) {
    QFile in;
    if (!in.open(stdin, QIODevice::ReadOnly))
        throw UsageError(u"standard input cannot be read"_s);
    const QByteArray data = in.readAll();
    const QString extension = sniffedExtension(data.left(16));
    const QString path = paths.privateFolder(u"in"_s) + u"/stdin"_s +
                         (extension.isEmpty() ? QString() : u'.' + extension);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size() || !file.flush())
        throw UsageError(
            u"could not keep standard input in %1: %2"_s.arg(path, file.errorString()));
    paths.show(path, "-");
    return path;
}

bool copyToStandardOutput(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        printError(u"could not read the result %1: %2"_s.arg(path, file.errorString()));
        return false;
    }
    while (!file.atEnd()) {
        const QByteArray chunk = file.read(1 << 20);
        if (chunk.isEmpty() && file.error() != QFileDevice::NoError)
            return false;
        if (std::fwrite(chunk.constData(), 1, static_cast<size_t>(chunk.size()), stdout) !=
            static_cast<size_t>(chunk.size())) {
            printError(u"could not write to standard output: "_s + systemReason(errno));
            return false;
        }
    }
    if (std::fflush(stdout) != 0) {
        printError(u"could not write to standard output: "_s + systemReason(errno));
        return false;
    }
    return true;
}

bool isTaken(const QString& path) {
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

} // namespace

void printError(const QString& text) {
    const QByteArray bytes = (u"glintwork-cli: "_s + text + u'\n').toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stderr);
    std::fflush(stderr);
}

NamingConfig namingFrom(const CommonOptions& common, NamingConfig naming) {
    if (common.naming)
        naming.mode = *common.naming;
    else if (common.prefix || common.start)
        naming.mode = NamingMode::custom;
    else if (common.suffix)
        naming.mode = NamingMode::suffix;
    if (common.suffix)
        naming.suffix = sanitizeNameComponent(*common.suffix);
    if (common.prefix)
        naming.prefix = sanitizeNameComponent(*common.prefix);
    if (common.start) {
        const auto start = cleanedStartNumber(*common.start);
        if (!start || *start != *common.start)
            throw UsageError(u"--start takes up to six digits, not '%1'"_s.arg(*common.start));
        naming.startNumber = *start;
    }
    return naming;
}

int runBatch(ToolDriver& driver, const CommonOptions& common, const OutputPlan& plan) {
    Paths paths;

    const bool fromStandardInput = common.paths.contains("-");
    const bool toStandardOutput = common.outputDirectory == QByteArray("-");
    if (fromStandardInput && common.paths.size() > 1)
        throw UsageError(u"\"-\" reads one image from standard input and takes no other PATH"_s);
    if (toStandardOutput && common.json)
        throw UsageError(u"--json and --output - would both write to standard output"_s);
    if (toStandardOutput && plan.mask)
        throw UsageError(u"--export-mask writes a second file, which --output - cannot carry"_s);
    if (fromStandardInput && !common.outputDirectory)
        throw UsageError(u"an image from standard input needs --output DIR or --output -"_s);

    std::optional<QString> runFolder;
    if (toStandardOutput) {
        runFolder = paths.privateFolder(u"out"_s);
    } else if (common.outputDirectory) {
        if (!decodes(*common.outputDirectory))
            throw UsageError(u"--output needs a folder name in UTF-8"_s);
        const QFileInfo info(QFile::decodeName(*common.outputDirectory));
        if (info.exists() && !info.isDir())
            throw UsageError(u"--output %1 is not a folder"_s.arg(info.filePath()));
        runFolder = QDir::cleanPath(info.absoluteFilePath());
    }

    // Read before the stop signals are taken over, so that Ctrl-C still ends a wait for input.
    std::optional<QString> standardInput;
    if (fromStandardInput) {
        if (::isatty(STDIN_FILENO) == 1)
            throw UsageError(u"\"-\" reads an image from standard input, which is a terminal"_s);
        standardInput = readStandardInput(paths);
    }
    // Ctrl-C, SIGTERM and SIGHUP cancel like the Cancel button from here on.
    StopSignals stopSignals;

    // Where each PATH leads; a file named by bytes that do not decode gets its output beside it.
    QList<Root> roots;
    QList<QUrl> urls;
    QHash<QString, QString> sourceFolderOf;
    for (QByteArray raw : common.paths) {
        if (raw == "-") {
            roots.append({*standardInput, false});
            urls.append(QUrl::fromLocalFile(roots.last().path));
            continue;
        }
        if (!raw.startsWith('/'))
            raw = QFile::encodeName(QDir::currentPath()) + '/' + raw;
        if (decodes(raw))
            raw = QFile::encodeName(QDir::cleanPath(QFile::decodeName(raw)));
        while (raw.size() > 1 && raw.endsWith('/'))
            raw.chop(1);
        const QString path = paths.reach(raw);
        struct stat info {};
        roots.append({path, ::stat(raw.constData(), &info) == 0 && S_ISDIR(info.st_mode)});
        urls.append(QUrl::fromLocalFile(path));
        if (path != QFile::decodeName(raw)) {
            const qsizetype slash = raw.lastIndexOf('/');
            sourceFolderOf.insert(path, paths.reach(slash > 0 ? raw.left(slash) : "/"));
        }
    }

    const FileService::Intake intake = FileService::collect(
        urls, driver.extensions(), [&](const QByteArray& rawPath, const QString& foundIn) {
            const QString link = paths.reach(paths.display(foundIn) + '/' + baseName(rawPath));
            sourceFolderOf.insert(link, foundIn);
            return std::optional<QString>(link);
        });

    const auto rootOf = [&](const QString& path) -> const Root* {
        for (const Root& root : roots) {
            if (path == root.path || (root.folder && path.startsWith(root.path + u'/')))
                return &root;
        }
        return nullptr;
    };
    // The path below the PATH it was found under; a file named itself is its own name.
    const auto relativePath = [&](const QString& path, const Root* root) {
        const QByteArray shown = paths.display(path);
        if (!root || !root->folder)
            return baseName(shown);
        QByteArray prefix = paths.display(root->path);
        if (!prefix.endsWith('/'))
            prefix += '/';
        return shown.mid(prefix.size());
    };
    const auto inShard = [&](const QByteArray& relative) {
        return stableHash(relative) % quint64(common.shardCount) == quint64(common.shardIndex);
    };

    if (toStandardOutput && intake.files.size() + intake.problems.size() != 1)
        throw UsageError(u"--output - writes one result, but %1 files were given or found"_s.arg(
            intake.files.size() + intake.problems.size()));

    BatchReporter::Options options;
    options.json = common.json;
    options.quiet = common.quiet;
    options.progressRecords = common.progress;
    options.resultLines = !toStandardOutput;
    const QByteArray noColor = qgetenv("NO_COLOR");
    options.progressLine = !common.quiet && noColor.isEmpty() && ::isatty(STDOUT_FILENO) == 1 &&
                           ::isatty(STDERR_FILENO) == 1;

    // Decide each file's place before anything runs: earlier outputs, the output folder
    // inside a searched folder and taken names (with --skip-existing) are left out.
    struct Skip {
        QString path, reason, output;
    };
    QList<Skip> skips;
    QList<QUrl> kept;
    QHash<QString, QUrl> outputFolders;
    EarlierOutputs earlier(plan, driver.extensions());
    int startedIndex = 0;
    for (const QUrl& url : intake.files) {
        const QString path = url.toLocalFile();
        const Root* root = rootOf(path);
        const QByteArray relative = relativePath(path, root);
        if (!inShard(relative))
            continue;
        const QString sourceFolder = sourceFolderOf.value(path, QFileInfo(path).absolutePath());
        QString outputFolder = sourceFolder;
        if (runFolder) {
            outputFolder = *runFolder;
            const qsizetype slash = relative.lastIndexOf('/');
            if (root && root->folder && slash > 0 && !toStandardOutput)
                outputFolder += u'/' + QFile::decodeName(relative.left(slash));
            if (root && root->folder && runFolder->startsWith(root->path + u'/') &&
                path.startsWith(*runFolder + u'/')) {
                skips.append({path, u"inside the output folder"_s, {}});
                continue;
            }
        }
        // Told wherever this run's outputs go: an earlier run may have written beside its
        // inputs. A stand-in's name does not decode, and every name this program writes does.
        if (!sourceFolderOf.contains(path) &&
            earlier.contains(sourceFolder, QFileInfo(path).fileName())) {
            skips.append({path, u"an output of an earlier run"_s, {}});
            continue;
        }
        if (common.skipExisting) {
            const QString base =
                OutputNamer::computeBaseName(url, plan.naming, startedIndex, plan.scaleHint);
            const QString expected =
                OutputNamer::outputURL(QUrl::fromLocalFile(outputFolder), base, plan.extension)
                    .toLocalFile();
            if (isTaken(expected)) {
                skips.append({path, u"its output name is taken"_s, expected});
                continue;
            }
        }
        ++startedIndex;
        kept.append(url);
        outputFolders.insert(path, QUrl::fromLocalFile(outputFolder));
    }

    driver.setFixedOutputDirectory(runFolder ? std::optional<QUrl>(QUrl::fromLocalFile(*runFolder))
                                             : std::nullopt);
    driver.setOutputFolders(outputFolders);
    driver.addIntake({kept, {}});

    BatchReporter reporter(driver.items(), options,
                           [&paths](const QString& path) { return paths.display(path); });
    bool stopped = false;
    bool cancelled = false;
    QObject::connect(&reporter, &BatchReporter::outputFailed, qApp, [&](int error) {
        printError(u"could not write to standard output: "_s + systemReason(error));
        // As a cancel: what is under way stops and leaves nothing behind.
        stopped = true;
        if (driver.isRunning())
            driver.cancel();
    });
    for (const IntakeProblem& problem : intake.problems) {
        const QString path = problem.url.toLocalFile();
        if (inShard(relativePath(path, rootOf(path))))
            reporter.reportProblem(path, problem.message);
    }
    for (const Skip& skip : skips)
        reporter.reportSkipped(skip.path, skip.reason, skip.output);
    if (driver.items().isEmpty() || reporter.outputBroken()) {
        const bool nothing =
            driver.items().isEmpty() && intake.problems.isEmpty() && skips.isEmpty();
        reporter.finish();
        if (nothing)
            printError(u"no supported image files to process"_s);
        return nothing || reporter.unsuccessful() > 0 || reporter.outputBroken()
                   ? kExitSomeFailed
                   : kExitAllCompleted;
    }

    QObject::connect(&driver, &ToolDriver::runFinished, qApp, [&](bool wasCancelled) {
        cancelled = wasCancelled;
        QCoreApplication::quit();
    });
    QObject::connect(&stopSignals, &StopSignals::stopRequested, qApp, [&] {
        stopped = true;
        if (driver.isRunning()) {
            driver.cancel();
        } else {
            cancelled = true;
            QCoreApplication::quit();
        }
    });
    QTimer::singleShot(0, qApp, [&] {
        if (stopped)
            QCoreApplication::quit();
        else
            driver.start();
    });
    QCoreApplication::exec();
    reporter.finish();
    bool delivered = true;
    if (toStandardOutput) {
        const auto& item = driver.items().first();
        if (item->status().is(ConversionStatus::Kind::completed) && item->outputURL())
            delivered = copyToStandardOutput(item->outputURL()->toLocalFile());
    }
    const bool success = reporter.unsuccessful() == 0 && !cancelled && !stopped &&
                         !reporter.outputBroken() && delivered;
    return success ? kExitAllCompleted : kExitSomeFailed;
}

} // namespace glintwork::cli
