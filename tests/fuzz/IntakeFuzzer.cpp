// Builds a small tree of files, folders, FIFOs, links and unreadable folders with arbitrary
// names from the input, then checks intake's contract on it: only regular files with an
// accepted extension come out; inside folders nothing hidden and nothing reached through a
// link to a folder; every named input that is not a folder becomes either a file or a
// reported problem; no FIFO is ever opened (a read would block the run for good).

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "batch/FileService.h"
#include "compress/ConversionSettings.h"

namespace {

void check(bool condition) {
    if (!condition)
        std::abort();
}

enum class Kind { file, folder, fifo, linkToFile, linkToFolder, dangling, lockedFolder, count };

// A name of 1 to 40 bytes from the input, without '/' or NUL; often given a supported or
// nearly supported extension, sometimes a leading dot.
std::string takeName(const std::uint8_t*& data, std::size_t& size) {
    static const char* const endings[] = {".png", ".JPG", ".jpeg", ".txt",  ".avif", ".png.",
                                          "",     ".",    ".Tif",  ".webp", ".x"};
    std::string name;
    const std::size_t length = size > 0 ? 1 + data[0] % 12 : 1;
    if (size > 0) {
        ++data;
        --size;
    }
    for (std::size_t i = 0; i < length && size > 0; ++i, ++data, --size) {
        const char c = char(*data);
        name += (c == '/' || c == '\0') ? '_' : c;
    }
    if (name.empty() || name == "." || name == "..")
        name = "n";
    if (size > 0) {
        name += endings[data[0] % (sizeof endings / sizeof *endings)];
        ++data;
        --size;
    }
    return name;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static int argc = 1;
    static char name[] = "fuzz_intake";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);

    QTemporaryDir root;
    std::vector<QString> folders{root.path()};
    QStringList named;
    std::vector<QString> locked;
    while (size >= 2 && folders.size() + named.size() < 40) {
        const auto kind = Kind(data[0] % int(Kind::count));
        const QString& parent = folders[data[1] % folders.size()];
        data += 2;
        size -= 2;
        const QString path =
            parent + QLatin1Char('/') + QFile::decodeName(takeName(data, size).c_str());
        const QByteArray native = QFile::encodeName(path);
        if (QFileInfo(path).exists() || QFileInfo(path).isSymLink())
            continue;
        switch (kind) {
        case Kind::file:
            QFile(path).open(QIODevice::WriteOnly);
            break;
        case Kind::folder:
        case Kind::lockedFolder:
            if (QDir().mkdir(path)) {
                folders.push_back(path);
                if (kind == Kind::lockedFolder)
                    locked.push_back(path);
            }
            break;
        case Kind::fifo:
            ::mkfifo(native.constData(), 0600);
            break;
        case Kind::linkToFile:
            QFile::link(named.empty() ? path + QStringLiteral("-x") : named.back(), path);
            break;
        case Kind::linkToFolder:
            QFile::link(root.path(), path);
            break;
        case Kind::dangling:
            QFile::link(root.path() + QStringLiteral("/nothing-here"), path);
            break;
        case Kind::count:
            break;
        }
        named.push_back(path);
    }
    for (const QString& folder : locked)
        ::chmod(QFile::encodeName(folder).constData(), 0);

    const QSet<QString>& extensions = glintwork::ConversionSettings::supportedExtensions();
    QList<QUrl> urls{QUrl::fromLocalFile(root.path())};
    for (const QString& path : named)
        urls.append(QUrl::fromLocalFile(path));
    const glintwork::FileService::Intake intake = glintwork::FileService::collect(urls, extensions);

    for (const QUrl& url : intake.files) {
        const QFileInfo info(url.toLocalFile());
        check(info.isFile());
        check(extensions.contains(info.suffix().toLower()));
        // Below the deepest named entry on its path (the root at least) the walk went on
        // its own: no hidden name, no link to a folder. What is named is taken as it is.
        const QStringList parts =
            QDir(root.path()).relativeFilePath(info.filePath()).split(QLatin1Char('/'));
        qsizetype start = 0;
        QString walked = root.path();
        for (qsizetype i = 0; i < parts.size(); ++i) {
            walked += QLatin1Char('/') + parts[i];
            if (named.contains(walked))
                start = i + 1;
        }
        walked = root.path();
        for (qsizetype i = 0; i < parts.size(); ++i) {
            walked += QLatin1Char('/') + parts[i];
            if (i < start)
                continue;
            check(!parts[i].startsWith(QLatin1Char('.')));
            check(i + 1 == parts.size() || !QFileInfo(walked).isSymLink());
        }
    }
    for (const QString& path : named) {
        const QFileInfo info(path);
        if (info.isDir())
            continue;
        const QUrl url = QUrl::fromLocalFile(path);
        const bool asFile = intake.files.contains(url);
        bool asProblem = false;
        for (const auto& problem : intake.problems)
            asProblem = asProblem || problem.url == url;
        check(asFile != asProblem);
    }
    for (const QString& folder : locked)
        ::chmod(QFile::encodeName(folder).constData(), 0700);
    return 0;
}
