#pragma once

#include <QString>

#include "platform/DescribedError.h"

namespace glintwork {

// Finds the helper encoders shipped in the resource folder's bin/ (cwebp, cjpeg, avifenc,
// oxipng). Holds no state.
namespace ToolManager {

class ToolError : public DescribedError {
public:
    enum class Kind {
        toolNotFound,
        bundleResourceNotFound,
    };

    [[nodiscard]] static ToolError toolNotFound(QString name);
    [[nodiscard]] static ToolError bundleResourceNotFound();

    [[nodiscard]] Kind kind() const { return m_kind; }
    // The executable's name for toolNotFound, empty otherwise.
    [[nodiscard]] const QString& toolName() const { return m_name; }

    [[nodiscard]] QString description() const override;

    friend bool operator==(const ToolError& a, const ToolError& b) {
        return a.m_kind == b.m_kind && a.m_name == b.m_name;
    }

private:
    ToolError(Kind kind, QString name);

    Kind m_kind;
    QString m_name;
};

// The absolute path of the named executable in the resource folder's bin/. Throws
// ToolError: toolNotFound for a name with a path separator or a file that is missing
// or not executable by this user, bundleResourceNotFound without a resource folder.
[[nodiscard]] QString toolPath(const QString& name);

// Whether toolPath(name) would succeed. Never throws.
[[nodiscard]] bool isToolAvailable(const QString& name) noexcept;

} // namespace ToolManager
} // namespace glintwork
