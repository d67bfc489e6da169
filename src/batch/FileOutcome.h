#pragma once

#include <optional>

#include <QString>
#include <QUrl>

namespace glintwork {

// What one file's work reports back.
struct FileOutcome {
    QUrl written;
    // Why a second output of the file (a cut-out's separate mask) failed; the file itself
    // was written. Shown on the item beside its completed status.
    std::optional<QString> warning;
};

} // namespace glintwork
