#include "compress/ToolManager.h"

#include <optional>
#include <utility>

#include <unistd.h>

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

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

} // namespace

ToolError::ToolError(Kind kind, QString name) : m_kind(kind), m_name(std::move(name)) {}

ToolError ToolError::toolNotFound(QString name) {
    return ToolError(Kind::toolNotFound, std::move(name));
}

ToolError ToolError::bundleResourceNotFound() {
    return ToolError(Kind::bundleResourceNotFound, QString());
}

QString ToolError::description() const {
    switch (m_kind) {
    case Kind::toolNotFound:
        return QCoreApplication::translate("ToolError",
                                           "The helper program '%1' is missing from the "
                                           "installation (it belongs in Resources/bin).")
            .arg(m_name);
    case Kind::bundleResourceNotFound:
        return QCoreApplication::translate(
            "ToolError", "The program's resource folder is missing from the installation.");
    }
    return {};
}

QString toolPath(const QString& name) {
    // Decided on the name alone, so "../x" never reaches the file system.
    if (hasPathSeparator(name))
        throw ToolError::toolNotFound(name);
    const auto helpers = Resources::helperDirectory();
    if (!helpers)
        throw ToolError::bundleResourceNotFound();
    if (auto path = toolLocation(*helpers, name))
        return *std::move(path);
    throw ToolError::toolNotFound(name);
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
