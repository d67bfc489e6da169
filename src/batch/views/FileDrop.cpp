#include "batch/views/FileDrop.h"

#include <QCoreApplication>
#include <QMimeData>

namespace glintwork {

QList<QUrl> droppedFileUrls(const QMimeData* mime) {
    QList<QUrl> urls;
    if (!mime || !mime->hasUrls())
        return urls;
    for (const QUrl& url : mime->urls()) {
        if (url.isValid() && url.isLocalFile())
            urls.append(url);
    }
    return urls;
}

QString selectFilesNameFilter() {
    return QCoreApplication::translate("DropZoneView", "Images") +
           QStringLiteral(
               " (*.png *.jpg *.jpeg *.heic *.heif *.webp *.tiff *.tif *.gif *.bmp *.avif)");
}

} // namespace glintwork
