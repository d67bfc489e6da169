#include "batch/FileService.h"

#include <cerrno>
#include <cstring>

#include <dirent.h>
#include <sys/stat.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>

#include "platform/Error.h"

namespace glintwork {

namespace FileService {

namespace {

bool hasAcceptedExtension(const QString& path, const QSet<QString>& extensions) {
    const QString name = QFileInfo(path).fileName();
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot <= 0) // no dot, or a hidden name with nothing before its only dot
        return false;
    return extensions.contains(name.mid(dot + 1).toLower());
}

QString text(const char* source) {
    return QCoreApplication::translate("FileService", source);
}

QString systemReason(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

class Collector {
public:
    Collector(const QSet<QString>& extensions, const RawNameStandIn& standIn)
        : m_extensions(extensions), m_standIn(standIn) {}

    void addNamed(const QString& path) {
        struct stat link {};
        if (::lstat(QFile::encodeName(path).constData(), &link) != 0) {
            // A folder on the way that may not be searched is not a missing file.
            const int error = errno;
            problem(path, error == ENOENT || error == ENOTDIR ? text("No such file or folder")
                                                              : systemReason(error));
            return;
        }
        struct stat target {};
        if (::stat(QFile::encodeName(path).constData(), &target) != 0) {
            problem(path, S_ISLNK(link.st_mode) ? text("The link points to nothing")
                                                : systemReason(errno));
            return;
        }
        if (S_ISDIR(target.st_mode)) {
            addFolder(path);
            return;
        }
        if (!S_ISREG(target.st_mode))
            problem(path, text("Not a regular file"));
        else if (!hasAcceptedExtension(path, m_extensions))
            problem(path, text("Not a file type this tool takes"));
        else
            m_intake.files.append(QUrl::fromLocalFile(path));
    }

    Intake take() { return std::move(m_intake); }

private:
    void addFolder(const QString& folder) {
        QList<QByteArray> names;
        const QByteArray nativeFolder = QFile::encodeName(folder);
        DIR* dir = ::opendir(nativeFolder.constData());
        if (!dir) {
            problem(folder, text("The folder could not be read: %1").arg(systemReason(errno)));
            return;
        }
        errno = 0;
        while (const dirent* entry = ::readdir(dir)) {
            if (entry->d_name[0] != '.') // hidden entries, and "." and ".."
                names.append(QByteArray(entry->d_name));
        }
        const int readError = errno;
        ::closedir(dir);
        if (readError != 0)
            problem(folder, text("The folder could not be read: %1").arg(systemReason(readError)));

        for (const QByteArray& rawName : names) {
            const QString name = QFile::decodeName(rawName);
            QString path = folder + QLatin1Char('/') + name;
            const QByteArray rawPath = nativeFolder + '/' + rawName;
            struct stat link {};
            if (::lstat(rawPath.constData(), &link) != 0)
                continue; // gone since the folder was read
            const bool isFolder = S_ISDIR(link.st_mode);
            // Other names are not images; a link to a folder is not followed, so a link
            // loop cannot trap the walk.
            if (!isFolder && !hasAcceptedExtension(path, m_extensions))
                continue;
            if (QFile::encodeName(name) != rawName) {
                // Opening `path` would open another name (the undecodable bytes became
                // U+FFFD), so the entry is reached through a stand-in or reported.
                const auto standIn = m_standIn ? m_standIn(rawPath, folder) : std::nullopt;
                if (!standIn) {
                    problem(path, text("The name is not valid UTF-8"));
                    continue;
                }
                path = *standIn;
            }
            if (isFolder) {
                addFolder(path);
                continue;
            }
            struct stat target {};
            if (::stat(rawPath.constData(), &target) != 0)
                problem(path, text("The link points to nothing"));
            else if (S_ISREG(target.st_mode))
                m_intake.files.append(QUrl::fromLocalFile(path));
            else if (!S_ISDIR(target.st_mode))
                problem(path, text("Not a regular file"));
        }
    }

    void problem(const QString& path, const QString& message) {
        m_intake.problems.append({QUrl::fromLocalFile(path), message});
    }

    const QSet<QString>& m_extensions;
    const RawNameStandIn& m_standIn;
    Intake m_intake;
};

QSet<QString> pathsOf(const ItemList& listed) {
    QSet<QString> paths;
    for (const auto& item : listed)
        paths.insert(item->url().path());
    return paths;
}

} // namespace

Intake collect(const QList<QUrl>& urls, const QSet<QString>& extensions,
               const RawNameStandIn& standIn) {
    Collector collector(extensions, standIn);
    for (const QUrl& url : urls) {
        if (url.isLocalFile())
            collector.addNamed(QDir::cleanPath(url.toLocalFile()));
    }
    return collector.take();
}

void ensureDirectory(const QUrl& folder) {
    const QString path = folder.toLocalFile();
    if (QFileInfo::exists(path) || QFileInfo(path).isSymLink())
        return;
    if (!QDir().mkpath(path)) {
        const int error = errno;
        throw Error(ErrorKind::fileSystemFailed,
                    QCoreApplication::translate("FileService", "Could not create the folder %1: %2")
                        .arg(path, systemErrorText(error)),
                    {.file = path, .errorNumber = error});
    }
}

ItemList newItems(const QList<QUrl>& files, const ItemList& listed) {
    const QSet<QString> listedPaths = pathsOf(listed);
    ItemList added;
    for (const QUrl& url : files) {
        if (!listedPaths.contains(url.path()))
            added.append(std::make_shared<ImageItem>(url));
    }
    return added;
}

ItemList unlisted(const ItemList& made, const ItemList& listed) {
    const QSet<QString> listedPaths = pathsOf(listed);
    ItemList added;
    for (const auto& item : made) {
        if (!listedPaths.contains(item->url().path()))
            added.append(item);
    }
    return added;
}

std::optional<QUrl> folderToOpen(const std::optional<QUrl>& outputFolder, const ItemList& items) {
    if (outputFolder)
        return outputFolder;
    for (const auto& item : items) {
        if (item->outputURL())
            return QUrl::fromLocalFile(QFileInfo(item->outputURL()->toLocalFile()).absolutePath());
    }
    return std::nullopt;
}

QString formatByteCount(qint64 bytes) {
    // Decimal units with the platform's usual precision; QLocale picks separators.
    return QLocale().formattedDataSize(bytes, 1, QLocale::DataSizeSIFormat);
}

} // namespace FileService
} // namespace glintwork
