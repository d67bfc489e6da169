#pragma once

#include <QList>
#include <QUrl>

class QMimeData;

namespace glintwork {

// The local files and folders a drag carries (text/uri-list from a file manager); other
// payloads give an empty list.
[[nodiscard]] QList<QUrl> droppedFileUrls(const QMimeData* mime);

// The name filter of the "Select Files" dialog: the types the platform's dialog offers.
// AVIF is left out there (such files can still be dropped).
[[nodiscard]] QString selectFilesNameFilter();

} // namespace glintwork
