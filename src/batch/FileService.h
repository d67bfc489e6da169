#pragma once

#include <functional>
#include <optional>

#include <QByteArray>
#include <QList>
#include <QSet>
#include <QString>
#include <QUrl>

#include "batch/ImageItem.h"

namespace glintwork {

// Something handed in that cannot become an item, and why ("No such file or folder").
struct IntakeProblem {
    QUrl url;
    QString message;

    friend bool operator==(const IntakeProblem&, const IntakeProblem&) = default;
};

namespace FileService {

struct Intake {
    QList<QUrl> files;
    QList<IntakeProblem> problems;
};

// A name that is not valid in the file-name encoding (bytes that are not UTF-8) cannot be
// held by a QString path. Given the entry's exact path in bytes and the folder it was found
// in, this returns a stand-in path that leads to it (a link), or nothing.
using RawNameStandIn =
    std::function<std::optional<QString>(const QByteArray& rawPath, const QString& foundIn)>;

// Expands files and folders into the image files they hold, keeping the order given and,
// inside a folder, the order of a recursive walk that skips hidden entries and does not
// follow links to folders. Only regular files (or links to them) whose lower-cased
// extension is in `extensions` are kept; nothing is sorted or de-duplicated.
//
// Problems are reported, never dropped silently: a named path that is missing, a dangling
// link, or of a type the tool does not take; anything that is not a regular file (a FIFO
// named x.png would block its reader forever); a folder that cannot be read. Inside a
// folder, names of other types are simply not images and are passed over. An image or
// folder whose name cannot be decoded is taken through `standIn`; without one, or when it
// gives nothing, it is a problem of its own.
[[nodiscard]] Intake collect(const QList<QUrl>& urls, const QSet<QString>& extensions,
                             const RawNameStandIn& standIn = {});

// Creates the folder and any missing parents when nothing exists at its path; throws
// Error (fileSystemFailed) when that fails. Anything already there is left alone.
void ensureDirectory(const QUrl& folder);

// Every driver's add-files rule: the collected image files whose path is not already
// listed, each as a new item, in order. The listed set is taken once,
// so a file that occurs twice in one delivery is added twice.
[[nodiscard]] ItemList newItems(const QList<QUrl>& files, const ItemList& listed);
// The items of `made` whose path is not already listed (items made ahead, off the main thread).
[[nodiscard]] ItemList unlisted(const ItemList& made, const ItemList& listed);

// The folder "Open in File Manager" shows: the output folder when one is set, else the
// folder of the first item, in list order, that has an output.
[[nodiscard]] std::optional<QUrl> folderToOpen(const std::optional<QUrl>& outputFolder,
                                               const ItemList& items);

// File sizes in decimal units, as file managers show them ("1.2 MB", "512 bytes").
[[nodiscard]] QString formatByteCount(qint64 bytes);

} // namespace FileService

} // namespace glintwork
