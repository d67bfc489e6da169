#include "support/TestSupport.h"

#include <sys/mount.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace glintwork::test {

ScratchDir::ScratchDir() {
    const QString config = m_dir.filePath(QStringLiteral(".config"));
    QDir().mkpath(config);
    qputenv("GLINTWORK_CONFIG_DIR", config.toLocal8Bit());
}

QString ScratchDir::writeFile(const QString& name, const QByteArray& bytes) const {
    const QString full = m_dir.filePath(name);
    QDir().mkpath(QFileInfo(full).absolutePath());
    QFile file(full);
    if (file.open(QIODevice::WriteOnly))
        file.write(bytes);
    return full;
}

ResourceFolder::ResourceFolder(const QString& path) {
    qputenv("GLINTWORK_RESOURCES", QFile::encodeName(path));
}

FakeResources::FakeResources(const QString& folderName)
    : m_resources(m_scratch.filePath(folderName)), m_current(m_resources) {
    QDir().mkpath(binPath());
}

QString FakeResources::addScript(const QString& name, const QByteArray& body,
                                 bool executable) const {
    const QString path = binPath() + QLatin1Char('/') + name;
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write("#!/bin/sh\n" + body + "\n");
    file.close();
    QFile::Permissions permissions = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup;
    if (executable)
        permissions |= QFile::ExeOwner | QFile::ExeGroup;
    QFile::setPermissions(path, permissions);
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

SmallDisk::SmallDisk(const ScratchDir& scratch, const QString& size)
    : m_path(scratch.filePath(QStringLiteral("small-disk"))) {
    QDir().mkpath(m_path);
    const QByteArray options = "size=" + size.toLatin1();
    m_mounted = ::mount("tmpfs", QFile::encodeName(m_path).constData(), "tmpfs", 0,
                        options.constData()) == 0;
}

SmallDisk::~SmallDisk() {
    if (m_mounted)
        ::umount2(QFile::encodeName(m_path).constData(), MNT_DETACH);
}

} // namespace glintwork::test
