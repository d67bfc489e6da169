#pragma once

#include <optional>

#include <QList>
#include <QSet>
#include <QString>
#include <QUrl>

#include "batch/ImageItem.h"
#include "platform/DescribedError.h"

namespace glintwork {


namespace FileService {

// Expands files and folders into the image files they hold, keeping the order given and,
// inside a folder, the order of a recursive walk that skips hidden entries. Only names
// whose lower-cased extension is in `extensions` are kept; missing paths are skipped.
// Nothing is sorted or de-duplicated.
[[nodiscard]] QList<QUrl> collectImageFiles(const QList<QUrl>& urls, const QSet<QString>& extensions);

// The compress tool's intake.
[[nodiscard]] QList<QUrl> collectImageFiles(const QList<QUrl>& urls);

// Creates the folder and any missing parents when nothing exists at its path; throws
// FileSystemError when that fails. Anything already there is left alone.
void ensureDirectory(const QUrl& folder);

// Every driver's add-files rule: the image files among `urls` (folders expanded) whose
// path is not already listed, each as a new item, in order. The listed set is taken once,
// so a file that occurs twice in one delivery is added twice.
[[nodiscard]] ItemList newItems(const QList<QUrl>& urls, const QSet<QString>& extensions,
                                const ItemList& listed);

// The folder "Open in File Manager" shows: the output folder when one is set, else the
// folder of the first item, in list order, that has an output.
[[nodiscard]] std::optional<QUrl> folderToOpen(const std::optional<QUrl>& outputFolder,
                                               const ItemList& items);

// File sizes in decimal units, as file managers show them ("1.2 MB", "512 bytes").
[[nodiscard]] QString formatByteCount(qint64 bytes);

} // namespace FileService

class FileSystemError : public DescribedError {
public:
    explicit FileSystemError(QString description) : m_description(std::move(description)) {}
    [[nodiscard]] QString description() const override { return m_description; }

private:
    QString m_description;
};

} // namespace glintwork
