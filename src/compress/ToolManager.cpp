#include "compress/ToolManager.h"

#include <optional>
#include <utility>

#include <unistd.h>

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include "platform/Error.h"
#include "platform/Resources.h"

namespace glintwork::ToolManager {

namespace {

bool hasPathSeparator(const QString& name) {
    return name.contains(QLatin1Char('/')) || name.contains(QLatin1Char('\\'));
}

std::optional<QString> toolLocation(const QString& helperDirectory, const QString& name) {
    const QString path = helperDirectory + QStringLiteral("/") + name;
    // A folder also passes the execute test, so insist on a file (symlinks followed).
    if (!QFileInfo(path).isFile())
        return std::nullopt;
    if (::access(QFile::encodeName(path).constData(), X_OK) != 0)
        return std::nullopt;
    return path;
}

Error toolNotFound(const QString& name) {
    return Error(ErrorKind::toolNotFound,
                 QCoreApplication::translate("ToolManager",
                                             "The helper program '%1' is missing from the "
                                             "installation (it belongs in Resources/bin).")
                     .arg(name),
                 {.file = name});
}

Error resourceFolderMissing() {
    return Error(
        ErrorKind::resourceFolderMissing,
        QCoreApplication::translate(
            "ToolManager", "The program's resource folder is missing from the installation."));
}

} // namespace

QString toolPath(const QString& name) {
    // Decided on the name alone, so "../x" never reaches the file system.
    if (hasPathSeparator(name))
        throw toolNotFound(name);
    const auto helpers = Resources::helperDirectory();
    if (!helpers)
        throw resourceFolderMissing();
    if (auto path = toolLocation(*helpers, name))
        return *std::move(path);
    throw toolNotFound(name);
}

bool isToolAvailable(const QString& name) noexcept {
    try {
        if (hasPathSeparator(name))
            return false;
        const auto helpers = Resources::helperDirectory();
        return helpers && toolLocation(*helpers, name).has_value();
    } catch (...) {
        return false;
    }
}

} // namespace glintwork::ToolManager
