#include "platform/SharedOutputSettings.h"

#include <QCoreApplication>
#include <QDir>

namespace glintwork {

SharedOutputSettings::SharedOutputSettings(QObject* parent) : QObject(parent) {
    assignOutputDirectory(m_stored.load());
}

SharedOutputSettings::~SharedOutputSettings() = default;

void SharedOutputSettings::setDirectory(const std::optional<QUrl>& folder) {
    if (folder)
        m_stored.store(*folder);
    else
        m_stored.clear();
    assignOutputDirectory(m_stored.load());
}

void SharedOutputSettings::assignOutputDirectory(const std::optional<QUrl>& folder) {
    if (m_outputDirectory == folder)
        return;
    m_outputDirectory = folder;
    Q_EMIT outputDirectoryChanged();
}

QString outputDirectoryDisplayPath(const SharedOutputSettings* settings) {
    if (!settings || !settings->outputDirectory())
        return QCoreApplication::translate("OutputFolderRow", "(Same folder as input)");
    QString path = settings->outputDirectory()->toLocalFile();
    const QString home = QDir::homePath();
    // Only a leading home folder becomes "~": /home/ann must not turn /home/anna into ~a.
    if (!home.isEmpty() && home != QLatin1String("/")) {
        if (path == home)
            return QStringLiteral("~");
        if (path.startsWith(home + QLatin1Char('/')))
            return QStringLiteral("~") + path.mid(home.size());
    }
    return path;
}

} // namespace glintwork
