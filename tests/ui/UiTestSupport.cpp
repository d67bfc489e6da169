#include "UiTestSupport.h"

#include <chrono>
#include <thread>

#include <QColor>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QApplication>
#include <QDropEvent>
#include <QImage>
#include <QMimeData>
#include <QThreadPool>
#include <QWidget>

#include "platform/CancellationToken.h"

namespace glintwork::test {

void isolatePreferences(QTemporaryDir& folder) {
    qputenv("GLINTWORK_CONFIG_DIR", folder.path().toUtf8());
}

QList<QUrl> writeImages(const QString& folder, int count, const QString& name) {
    QDir().mkpath(folder);
    QList<QUrl> urls;
    for (int i = 0; i < count; ++i) {
        QImage image(40 + 10 * i, 30 + 5 * i, QImage::Format_RGB32);
        image.fill(QColor::fromHsv((i * 47) % 360, 180, 220));
        const QString path = QDir(folder).filePath(QStringLiteral("%1%2.png").arg(name).arg(i));
        image.save(path);
        urls.append(QUrl::fromLocalFile(path));
    }
    return urls;
}

bool dropFiles(QWidget* target, const QList<QUrl>& urls) {
    QMimeData mime;
    mime.setUrls(urls);
    const QPoint centre = target->rect().center();
    QDragEnterEvent enter(centre, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    if (!enter.isAccepted())
        return false;
    QDropEvent drop(QPointF(centre), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
    // Dropped files are taken in on a worker thread and listed when it delivers them.
    QThreadPool::globalInstance()->waitForDone();
    QCoreApplication::processEvents();
    return true;
}

ConversionViewModel::Pipeline ControlledConverter::converter() const {
    const auto released = release;
    const QStringList atOnce = finishAtOnce;
    return [released, atOnce](const ConversionRequest& request, CancellationToken& token,
                              const ToolDriver::Progress&) -> FileOutcome {
        const QString input = request.input.toLocalFile();
        if (!atOnce.contains(QFileInfo(input).fileName())) {
            while (!released->load()) {
                token.check();
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
        }
        token.check();
        QFile source(input);
        if (!source.open(QIODevice::ReadOnly))
            throw CancelledError();
        const QByteArray bytes = source.readAll();
        QFile output(request.outputURL.toLocalFile());
        if (output.open(QIODevice::WriteOnly))
            output.write(bytes.left(bytes.size() / 2));
        return FileOutcome{request.outputURL, std::nullopt};
    };
}

CutoutViewModel::Pipeline cutoutWith(std::shared_ptr<const BackgroundRemoving> remover) {
    return [remover](const CutoutRequest& request, CancellationToken& token, const ToolDriver::Progress&) {
        return runCutoutPipeline(request, remover, token);
    };
}

} // namespace glintwork::test
