#include "platform/BookmarkService.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QDataStream>
#include <QDir>
#include <QFileInfo>
#include <QIODevice>

#include "platform/PreferenceStore.h"

namespace glintwork {

namespace {

constexpr quint32 kBookmarkMagic = 0x474C4246; // "GLBF"
constexpr quint16 kBookmarkVersion = 1;

struct FileIdentity {
    quint64 device = 0;
    quint64 inode = 0;
};

std::optional<FileIdentity> identityOf(const QString& path) {
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return std::nullopt;
    return FileIdentity{static_cast<quint64>(info.st_dev), static_cast<quint64>(info.st_ino)};
}

// An empty path would read as "/" once a file name is appended to it, and a relative one
// depends on where the program was started: neither names an output folder.
bool namesAFolder(const QUrl& url) {
    return url.isLocalFile() && QDir::isAbsolutePath(url.toLocalFile());
}

} // namespace

std::optional<QByteArray> LinuxBookmarkLayer::createBookmark(const QUrl& folder) {
    if (!folder.isLocalFile())
        return std::nullopt;
    const QString path = QDir::cleanPath(QFileInfo(folder.toLocalFile()).absoluteFilePath());
    const auto identity = identityOf(path);
    if (!identity)
        return std::nullopt;
    QByteArray data;
    QDataStream out(&data, QIODevice::WriteOnly);
    out.setVersion(QDataStream::Qt_6_0);
    out << kBookmarkMagic << kBookmarkVersion << path << identity->device << identity->inode;
    return data;
}

std::optional<BookmarkLayer::Resolved> LinuxBookmarkLayer::resolveBookmark(const QByteArray& data) {
    QDataStream in(data);
    in.setVersion(QDataStream::Qt_6_0);
    quint32 magic = 0;
    quint16 version = 0;
    QString path;
    quint64 device = 0;
    quint64 inode = 0;
    in >> magic >> version >> path >> device >> inode;
    if (in.status() != QDataStream::Ok || magic != kBookmarkMagic || version != kBookmarkVersion ||
        path.isEmpty())
        return std::nullopt;
    const auto identity = identityOf(path);
    if (!identity)
        return std::nullopt;
    // Something is at the path, but not the folder we recorded (it was replaced, or
    // moved away and another made in its place): still usable, but the bookmark is stale.
    const bool stale = identity->device != device || identity->inode != inode;
    return Resolved{QUrl::fromLocalFile(path), stale};
}

bool LinuxBookmarkLayer::startAccessing(const QUrl& url) {
    if (!url.isLocalFile())
        return false;
    const QString path = url.toLocalFile();
    return QFileInfo(path).isDir() &&
           ::access(QFile::encodeName(path).constData(), W_OK | X_OK) == 0;
}

void LinuxBookmarkLayer::stopAccessing(const QUrl&) {}

BookmarkService::BookmarkService(std::unique_ptr<BookmarkLayer> layer)
    : m_layer(layer ? std::move(layer) : std::make_unique<LinuxBookmarkLayer>()),
      m_store(std::make_unique<PreferenceStore>()) {}

BookmarkService::~BookmarkService() = default;

QByteArray BookmarkService::bookmarkData() const {
    return m_store->bytes(kBookmarkKey);
}

void BookmarkService::setBookmarkData(const QByteArray& data) {
    m_store->setBytes(kBookmarkKey, data);
}

void BookmarkService::endAccess() {
    if (m_accessingScopedURL) {
        m_layer->stopAccessing(*m_accessingScopedURL);
        m_accessingScopedURL.reset();
    }
}

std::optional<QUrl> BookmarkService::activate() {
    endAccess();
    const QByteArray data = bookmarkData();
    if (data.isEmpty())
        return std::nullopt;
    const auto resolved = m_layer->resolveBookmark(data);
    if (!resolved || !namesAFolder(resolved->url))
        return std::nullopt;
    if (!m_layer->startAccessing(resolved->url))
        return std::nullopt;
    m_accessingScopedURL = resolved->url;
    if (resolved->isStale) {
        if (const auto fresh = m_layer->createBookmark(resolved->url))
            setBookmarkData(*fresh);
    }
    return resolved->url;
}

std::optional<QUrl> BookmarkService::setDirectory(const QUrl& folder) {
    if (!namesAFolder(folder))
        return activate();
    const QByteArray previous = bookmarkData();
    if (const auto created = m_layer->createBookmark(folder))
        setBookmarkData(*created);
    if (auto active = activate())
        return active;
    setBookmarkData(previous);
    return activate();
}

void BookmarkService::clear() {
    endAccess();
    setBookmarkData(QByteArray());
}

} // namespace glintwork
