#include "batch/FileService.h"

#include <cerrno>
#include <cstring>

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QLocale>

#include "compress/ConversionSettings.h"

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

} // namespace

QList<QUrl> collectImageFiles(const QList<QUrl>& urls, const QSet<QString>& extensions) {
    QList<QUrl> result;
    for (const QUrl& url : urls) {
        if (!url.isLocalFile())
            continue;
        const QString path = url.toLocalFile();
        const QFileInfo info(path);
        if (!info.exists())
            continue;
        if (info.isDir()) {
            // Hidden entries are left out at every depth: QDir::Hidden is not requested, so
            // the iterator neither lists nor descends into them.
            QDirIterator it(path, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System,
                            QDirIterator::Subdirectories);
            while (it.hasNext()) {
                const QString entry = it.next();
                if (hasAcceptedExtension(entry, extensions))
                    result.append(QUrl::fromLocalFile(entry));
            }
            continue;
        }
        if (hasAcceptedExtension(path, extensions))
            result.append(url);
    }
    return result;
}

QList<QUrl> collectImageFiles(const QList<QUrl>& urls) {
    return collectImageFiles(urls, ConversionSettings::supportedExtensions());
}

void ensureDirectory(const QUrl& folder) {
    const QString path = folder.toLocalFile();
    if (QFileInfo::exists(path) || QFileInfo(path).isSymLink())
        return;
    if (!QDir().mkpath(path)) {
        const int error = errno;
        throw FileSystemError(
            QCoreApplication::translate("FileService", "Could not create the folder %1: %2")
                .arg(path, QString::fromLocal8Bit(std::strerror(error))));
    }
}

ItemList newItems(const QList<QUrl>& urls, const QSet<QString>& extensions, const ItemList& listed) {
    QSet<QString> listedPaths;
    for (const auto& item : listed)
        listedPaths.insert(item->url().path());
    ItemList added;
    for (const QUrl& url : collectImageFiles(urls, extensions)) {
        if (!listedPaths.contains(url.path()))
            added.append(std::make_shared<ImageItem>(url));
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
