#pragma once

#include <memory>
#include <optional>

#include <QObject>
#include <QUrl>

#include "platform/StoredOutputFolder.h"

namespace glintwork {

// The one output folder shared by all tools; absent means "next to each input".
// Restored from the stored folder when created.
class SharedOutputSettings : public QObject {
    Q_OBJECT
    Q_PROPERTY(QUrl outputDirectory READ outputDirectoryUrl NOTIFY outputDirectoryChanged)

public:
    explicit SharedOutputSettings(QObject* parent = nullptr);
    ~SharedOutputSettings() override;

    [[nodiscard]] std::optional<QUrl> outputDirectory() const { return m_outputDirectory; }
    // The property form: an empty URL when there is no folder.
    [[nodiscard]] QUrl outputDirectoryUrl() const { return m_outputDirectory.value_or(QUrl()); }

    // With a folder: store and use it (keeping the previous one when it cannot be used).
    // Without: forget the stored folder.
    void setDirectory(const std::optional<QUrl>& folder);

Q_SIGNALS:
    void outputDirectoryChanged();

private:
    void assignOutputDirectory(const std::optional<QUrl>& folder);

    std::optional<QUrl> m_outputDirectory;
    StoredOutputFolder m_stored;
};

// What the output-folder row shows: "(Same folder as input)" without settings or folder,
// otherwise the folder's path with the home folder written as "~".
[[nodiscard]] QString outputDirectoryDisplayPath(const SharedOutputSettings* settings);

} // namespace glintwork
