#pragma once

#include <QString>

namespace glintwork {

// Finds the helper encoders shipped in the resource folder's bin/ (cwebp, cjpeg, avifenc,
// oxipng). Holds no state.
namespace ToolManager {

// The absolute path of the named executable in the resource folder's bin/. Throws Error:
// toolNotFound (with the name as its file) for a name with a path separator or a file
// that is missing or not executable by this user, resourceFolderMissing without a
// resource folder.
[[nodiscard]] QString toolPath(const QString& name);

// Whether toolPath(name) would succeed. Never throws.
[[nodiscard]] bool isToolAvailable(const QString& name) noexcept;

} // namespace ToolManager
} // namespace glintwork
