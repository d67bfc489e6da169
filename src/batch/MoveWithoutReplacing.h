#pragma once

#include <QSet>
#include <QString>
#include <QUrl>

#include "platform/ExitCleanup.h"

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
// system for the move to be atomic. Throws Error (fileSystemFailed) for any other failure.
[[nodiscard]] bool moveWithoutReplacing(const QString& source, const QString& destination,
                                        MoveMethod method = MoveMethod::automatic);

// The hidden file a writer fills before the output gets its name. It lives in the output's
// own folder so that the final move is a rename within one file system; the folder is
// created when missing (the one place outputs' folders are made), and the file is created
// at once, exclusively, so an unusable folder is reported before any work starts (throws
// Error). Removed when the object goes unless it was published, and on an abrupt
// exit of the program.
class PartFile {
public:
    explicit PartFile(const QString& folder);
    PartFile(const PartFile&) = delete;
    PartFile& operator=(const PartFile&) = delete;
    ~PartFile() { remove(); }

    [[nodiscard]] const QString& path() const { return m_path; }
    // The file has been moved to its name; there is nothing left to remove.
    void published() {
        m_path.clear();
        m_abruptExit.reset();
    }
    void remove() noexcept;

private:
    QString m_path;
    ExitCleanup::FileRegistration m_abruptExit;
};

// Moves the finished part file to `wanted`, its stem shortened first when the name is
// longer than the file system takes; when another writer took that name meanwhile, to the
// next free numbered one that is not in `reserved`, numbered from the name `wanted` was
// numbered from, if it was (OutputNamer::unnumbered). Returns the name used. Throws
// Error (fileSystemFailed).
[[nodiscard]] QUrl publishPartFile(PartFile& part, const QUrl& wanted, const QSet<QUrl>& reserved);

} // namespace glintwork
