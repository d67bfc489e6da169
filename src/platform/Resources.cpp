#include "platform/Resources.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace glintwork::Resources {

namespace {

QString executableDirectory() {
    // Works before a QCoreApplication exists, which the CLI and tests rely on.
    const QFileInfo self(QStringLiteral("/proc/self/exe"));
    const QString target = self.symLinkTarget();
    if (!target.isEmpty())
        return QFileInfo(target).absolutePath();
    return QCoreApplication::applicationDirPath();
}

bool isDirectory(const QString& path) {
    return !path.isEmpty() && QFileInfo(path).isDir();
}

} // namespace

std::optional<QString> resourceDirectory() {
    const QString fromEnvironment = qEnvironmentVariable("GLINTWORK_RESOURCES");
    if (isDirectory(fromEnvironment))
        return QDir(fromEnvironment).absolutePath();

    const QString exeDir = executableDirectory();
    if (exeDir.isEmpty())
        return std::nullopt;
    const QString beside = exeDir + QStringLiteral("/Resources");
    if (isDirectory(beside))
        return QDir(beside).absolutePath();
    const QString installed = QDir::cleanPath(exeDir + QStringLiteral("/../share/glintwork"));
    if (isDirectory(installed))
        return installed;
    return std::nullopt;
}

std::optional<QString> helperDirectory() {
    const auto resources = resourceDirectory();
    if (resources && isDirectory(*resources + QStringLiteral("/bin")))
        return *resources + QStringLiteral("/bin");
    const QString exeDir = executableDirectory();
    const QString installed = QDir::cleanPath(exeDir + QStringLiteral("/../lib/glintwork"));
    if (!exeDir.isEmpty() && isDirectory(installed))
        return installed;
    // Nothing there yet: each helper is then reported as not found by its name.
    if (resources)
        return *resources + QStringLiteral("/bin");
    return std::nullopt;
}

std::optional<QString> path(const QString& relativePath) {
    const auto dir = resourceDirectory();
    if (!dir)
        return std::nullopt;
    return QDir(*dir).filePath(relativePath);
}

} // namespace glintwork::Resources
