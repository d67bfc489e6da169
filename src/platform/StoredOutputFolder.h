#pragma once

#include <memory>
#include <optional>

#include <QString>
#include <QUrl>

namespace glintwork {

class PreferenceStore;

// The output folder the user chose, kept in the preference store as its absolute path under
// "outputDirectoryBookmark". Earlier versions kept a small binary record there (a tag, the
// path, the folder's device and inode); its path is still read, so that a folder chosen then
// stays chosen.
class StoredOutputFolder {
public:
    static inline const QString kKey = QStringLiteral("outputDirectoryBookmark");

    StoredOutputFolder();
    ~StoredOutputFolder();
    StoredOutputFolder(const StoredOutputFolder&) = delete;
    StoredOutputFolder& operator=(const StoredOutputFolder&) = delete;

    // The stored folder when it can be used now; a stored folder that is missing for the
    // moment stays stored and is used again once it is back.
    [[nodiscard]] std::optional<QUrl> load() const;
    // Stores `folder` when it can be used and returns true; otherwise the stored one stays.
    bool store(const QUrl& folder);
    void clear();

    // The stored path as written, whether or not a folder is there now; empty when none.
    [[nodiscard]] QString storedPath() const;

    // An absolute path to an existing folder this user may create files in. An empty path
    // would read as "/" once a file name is appended to it, and a relative one depends on
    // where the program was started: neither names an output folder.
    [[nodiscard]] static bool isUsable(const QUrl& folder);

private:
    std::unique_ptr<PreferenceStore> m_store;
};

} // namespace glintwork
