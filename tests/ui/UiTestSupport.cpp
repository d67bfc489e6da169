#include "UiTestSupport.h"

#include <QDir>
#include <QApplication>
#include <QDropEvent>
#include <QImage>
#include <QMimeData>
#include <QTest>
#include <QThreadPool>

#include "support/TestSupport.h"

namespace glintwork::test {

namespace {
// Made before QTEST_MAIN's main() runs, so the widget tests have no way to the user's home.
const IsolatedHome kHome;
} // namespace

void isolatePreferences(QTemporaryDir& folder) {
    static int calls = 0;
    qputenv("GLINTWORK_CONFIG_DIR", folder.filePath(QString::number(calls++)).toUtf8());
}

void activate(QWidget* window) {
    window->show();
    QApplication::setActiveWindow(window);
    QVERIFY(QTest::qWaitForWindowActive(window));
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

} // namespace glintwork::test
