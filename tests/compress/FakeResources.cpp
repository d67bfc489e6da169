#include "compress/FakeResources.h"

#include <QDir>
#include <QFile>

namespace glintwork::test {

FakeResources::FakeResources(const QString& folderName)
    : m_resources(m_scratch.filePath(folderName)) {
    QDir().mkpath(binPath());
    m_hadPrevious = qEnvironmentVariableIsSet("GLINTWORK_RESOURCES");
    m_previous = qgetenv("GLINTWORK_RESOURCES");
    qputenv("GLINTWORK_RESOURCES", QFile::encodeName(m_resources));
}

FakeResources::~FakeResources() {
    if (m_hadPrevious)
        qputenv("GLINTWORK_RESOURCES", m_previous);
    else
        qunsetenv("GLINTWORK_RESOURCES");
}

QString FakeResources::addScript(const QString& name, const QByteArray& body,
                                 bool executable) const {
    const QString path = binPath() + QLatin1Char('/') + name;
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        file.write("#!/bin/sh\n" + body + "\n");
        file.close();
    }
    QFile::Permissions permissions = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup;
    if (executable)
        permissions |= QFile::ExeOwner | QFile::ExeGroup;
    file.setPermissions(permissions);
    return path;
}

EnvironmentOverride::EnvironmentOverride(const char* name, const QByteArray* value)
    : m_name(name), m_previous(qgetenv(name)), m_hadPrevious(qEnvironmentVariableIsSet(name)) {
    if (value)
        qputenv(m_name, *value);
    else
        qunsetenv(m_name);
}

EnvironmentOverride::~EnvironmentOverride() {
    if (m_hadPrevious)
        qputenv(m_name, m_previous);
    else
        qunsetenv(m_name);
}

} // namespace glintwork::test
