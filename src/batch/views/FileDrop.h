#pragma once

#include <QList>
#include <QUrl>

class QMimeData;

namespace glintwork {

// The local files and folders a drag carries (text/uri-list from a file manager); other
// payloads give an empty list.
[[nodiscard]] QList<QUrl> droppedFileUrls(const QMimeData* mime);

// The name filter of the "Select Files" dialog: every type the drop zone names.
[[nodiscard]] QString selectFilesNameFilter();

} // namespace glintwork
