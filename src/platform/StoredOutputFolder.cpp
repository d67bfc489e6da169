#include "platform/StoredOutputFolder.h"

#include <unistd.h>

#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QIODevice>

#include "platform/PreferenceStore.h"

namespace glintwork {

namespace {

// The path inside the record earlier versions stored: "GLBF", version 1, the path, then the
// folder's device and inode numbers (no longer needed: the path alone names the folder).
QString pathOfEarlierRecord(const QByteArray& record) {
    QDataStream in(record);
    in.setVersion(QDataStream::Qt_6_0);
    quint32 tag = 0;
    quint16 version = 0;
    QString path;
    in >> tag >> version >> path;
    if (in.status() != QDataStream::Ok || tag != 0x474C4246 || version != 1)
        return {};
    return path;
}

} // namespace

StoredOutputFolder::StoredOutputFolder() : m_store(std::make_unique<PreferenceStore>()) {}

StoredOutputFolder::~StoredOutputFolder() = default;

bool StoredOutputFolder::isUsable(const QUrl& folder) {
    if (!folder.isLocalFile())
        return false;
    const QString path = folder.toLocalFile();
    return QDir::isAbsolutePath(path) && QFileInfo(path).isDir() &&
           ::access(QFile::encodeName(path).constData(), W_OK | X_OK) == 0;
}

QString StoredOutputFolder::storedPath() const {
    const QString path = m_store->string(kKey, QString());
    return path.isEmpty() ? pathOfEarlierRecord(m_store->bytes(kKey)) : path;
}

std::optional<QUrl> StoredOutputFolder::load() const {
    const QString path = storedPath();
    if (path.isEmpty())
        return std::nullopt;
    const QUrl folder = QUrl::fromLocalFile(path);
    return isUsable(folder) ? std::optional(folder) : std::nullopt;
}

bool StoredOutputFolder::store(const QUrl& folder) {
    if (!isUsable(folder))
        return false;
    m_store->setString(kKey, QDir::cleanPath(folder.toLocalFile()));
    return true;
}

void StoredOutputFolder::clear() {
    m_store->remove(kKey);
}

} // namespace glintwork
