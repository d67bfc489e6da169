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

// A name of 1 to 12 bytes from the input, without '/' or NUL, given a supported or nearly
// supported extension or none; sometimes with a leading dot. Takes at least two bytes.
QString takeName(const std::uint8_t*& data, std::size_t& size) {
    static const char* const endings[] = {".png", ".JPG", ".jpeg", ".txt",  ".avif", ".png.",
                                          "",     ".",    ".Tif",  ".webp", ".x"};
    const auto take = [&] {
        --size;
        return *data++;
    };
    std::string name;
    for (int length = 1 + take() % 12; length > 0 && size > 1; --length) {
        const char c = char(take());
        name += (c == '/' || c == '\0') ? '_' : c;
    }
    if (name.empty() || name == "." || name == "..")
        name = "n";
    return QFile::decodeName((name + endings[take() % std::size(endings)]).c_str());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static int argc = 1;
    static char name[] = "fuzz_intake";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);

    QTemporaryDir root;
    std::vector<QString> folders{root.path()};
    QStringList named, locked;
    while (size >= 4 && folders.size() + named.size() < 40) {
        const auto kind = Kind(data[0] % int(Kind::count));
        const QString& parent = folders[data[1] % folders.size()];
        data += 2;
        size -= 2;
        const QString path = parent + u'/' + takeName(data, size);
        if (QFileInfo(path).exists() || QFileInfo(path).isSymLink())
            continue;
        if (kind == Kind::file)
            QFile(path).open(QIODevice::WriteOnly);
        else if ((kind == Kind::folder || kind == Kind::lockedFolder) && QDir().mkdir(path)) {
            folders.push_back(path);
            if (kind == Kind::lockedFolder)
                locked.push_back(path);
        } else if (kind == Kind::fifo)
            ::mkfifo(QFile::encodeName(path).constData(), 0600);
        else if (kind == Kind::linkToFile)
            QFile::link(named.empty() ? path + QStringLiteral("-x") : named.back(), path);
        else if (kind == Kind::linkToFolder)
            QFile::link(root.path(), path);
        else if (kind == Kind::dangling)
            QFile::link(root.path() + QStringLiteral("/nothing-here"), path);
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
        check(info.isFile() && extensions.contains(info.suffix().toLower()));
        // Below the deepest named entry on its path (the root at least) the walk went on
        // its own: no hidden name, no link to a folder. What is named is taken as it is.
        QString walked = info.filePath();
        while (walked.size() > root.path().size() && !named.contains(walked)) {
            check(!QFileInfo(walked).fileName().startsWith(u'.'));
            check(walked == info.filePath() || !QFileInfo(walked).isSymLink());
            walked = QFileInfo(walked).path();
        }
    }
    for (const QString& path : named) {
        const QUrl url = QUrl::fromLocalFile(path);
        bool asProblem = false;
        for (const auto& problem : intake.problems)
            asProblem = asProblem || problem.url == url;
        check(QFileInfo(path).isDir() || intake.files.contains(url) != asProblem);
    }
    for (const QString& folder : locked)
        ::chmod(QFile::encodeName(folder).constData(), 0700);
    return 0;
}
