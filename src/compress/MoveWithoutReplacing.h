#pragma once

#include <QString>

namespace glintwork {

// How a finished file is moved to its final name. `automatic` tries an atomic rename that
// refuses to replace, then falls back as the file system requires; the others force one
// fallback (tests, and file systems known to lack the atomic rename).
enum class MoveMethod {
    automatic,
    linkThenUnlink, // hard link to the new name, then remove the old one
    exclusiveCopy,  // create the new name exclusively and copy the bytes into it
};

// Moves the file at `source` to `destination` unless something (a file, a folder, even a
// dangling link) already occupies `destination`; that thing is never replaced. Returns
// false, leaving both untouched, when the name is taken. Both paths should be on one file
// system for the move to be atomic. Throws FileSystemError for any other failure.
[[nodiscard]] bool moveWithoutReplacing(const QString& source, const QString& destination,
                                        MoveMethod method = MoveMethod::automatic);

} // namespace glintwork
