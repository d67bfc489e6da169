#include "support/TestSupport.h"

#include <sys/mount.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

namespace glintwork::test {

std::optional<Error> errorOf(const std::function<void()>& run) {
    try {
        run();
    } catch (const Error& error) {
        return error;
    }
    return std::nullopt;
}

std::string errorText(const std::function<void()>& run) {
    const std::optional<Error> error = errorOf(run);
    return error ? error->text().toStdString() : "(no error)";
}

ScratchDir::ScratchDir() {
    const QString config = m_dir.filePath(QStringLiteral(".config"));
    QDir().mkpath(config);
    qputenv("GLINTWORK_CONFIG_DIR", config.toLocal8Bit());
}

QByteArray contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray ghostscriptProfile(const QString& name) {
    const QDir share(QStringLiteral("/usr/share/ghostscript"));
    return contents(share.filePath(share.entryList(QDir::Dirs | QDir::NoDotAndDotDot).value(0) +
                                   QStringLiteral("/iccprofiles/") + name));
}

QString ScratchDir::writeFile(const QString& name, const QByteArray& bytes) const {
    const QString full = m_dir.filePath(name);
    QDir().mkpath(QFileInfo(full).absolutePath());
    QFile file(full);
    if (file.open(QIODevice::WriteOnly))
        file.write(bytes);
    return full;
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
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup |
                                    (executable ? QFile::ExeOwner | QFile::ExeGroup : QFile::Permissions()));
    return path;
}

EnvironmentOverride::EnvironmentOverride(const char* name, const QByteArray* value)
    : m_name(name), m_previous(qgetenv(name)), m_hadPrevious(qEnvironmentVariableIsSet(name)) {
    (void)(value ? qputenv(m_name, *value) : qunsetenv(m_name));
}

bool writeNetworkWithPython(const char* script, const QString& path, const QString& variant,
                            QString* why) {
    QProcess process;
    process.start(QStringLiteral("/usr/bin/python3"),
                  {QStringLiteral("-c"), QString::fromUtf8(script), path, variant});
    if (!process.waitForFinished(60000) || process.exitCode() != 0) {
        *why = QStringLiteral("/usr/bin/python3 with python3-onnx could not build the test network: ") +
               QString::fromUtf8(process.readAllStandardError()).trimmed();
        return false;
    }
    return QFileInfo(path).isFile();
}

IsolatedHome::IsolatedHome() : m_dir(QDir::tempPath() + QStringLiteral("/glintwork-test-home-XXXXXX")) {
    const QByteArray home = QFile::encodeName(m_dir.path());
    qputenv("HOME", home);
    for (const char* name : {"CONFIG", "DATA", "CACHE", "STATE"}) {
        const QByteArray folder = home + "/." + QByteArray(name).toLower();
        QDir().mkpath(QFile::decodeName(folder));
        qputenv(QByteArray("XDG_") + name + "_HOME", folder);
    }
}

EnvironmentOverride::~EnvironmentOverride() { (void)(m_hadPrevious ? qputenv(m_name, m_previous) : qunsetenv(m_name)); }

SmallDisk::SmallDisk(const ScratchDir& scratch, const QString& size)
    : m_path(scratch.filePath(QStringLiteral("small-disk"))) {
    QDir().mkpath(m_path);
    m_mounted = ::mount("tmpfs", QFile::encodeName(m_path).constData(), "tmpfs", 0, ("size=" + size.toLatin1()).constData()) == 0;
}

SmallDisk::~SmallDisk() { (void)(m_mounted && ::umount2(QFile::encodeName(m_path).constData(), MNT_DETACH)); }

} // namespace glintwork::test
