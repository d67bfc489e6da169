#pragma once

#include <optional>

#include <QString>

namespace glintwork {

// Where the program's bundled files (helper encoders, models, licences) live:
// $GLINTWORK_RESOURCES, else Resources/ beside the executable (the build tree is laid
// out that way), else ../share/glintwork/ from the executable.
namespace Resources {

[[nodiscard]] std::optional<QString> resourceDirectory();

// Where helper programs (encoders, the HEIC helper) live: bin/ inside the resource folder
// when it has one (the build tree, or $GLINTWORK_RESOURCES), else ../lib/glintwork/ from
// the executable, the installed layout.
[[nodiscard]] std::optional<QString> helperDirectory();

// The path of a file inside the resource folder, if that folder exists (the file itself
// may not).
[[nodiscard]] std::optional<QString> path(const QString& relativePath);

} // namespace Resources
} // namespace glintwork
