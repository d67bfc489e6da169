#include "batch/views/CompletionSignal.h"

#include <QApplication>
#include <QPointer>
#include <QSoundEffect>
#include <QUrl>
#include <QWidget>

#include "platform/Resources.h"

namespace glintwork {

namespace {

bool hasDisplay() {
    const QString platform = QGuiApplication::platformName();
    return platform != QLatin1String("offscreen") && platform != QLatin1String("minimal");
}

void playCompletionSound() {
    // Created on first use: starting the audio back end costs time nobody should pay
    // at start-up.
    static QPointer<QSoundEffect> effect;
    if (!effect) {
        const auto path = Resources::path(QStringLiteral("sounds/complete.wav"));
        if (!path)
            return;
        effect = new QSoundEffect(qApp);
        effect->setSource(QUrl::fromLocalFile(*path));
        effect->setVolume(0.6F);
    }
    effect->play();
}

} // namespace

void signalBatchCompletion(QWidget* window) {
    if (!hasDisplay() || QGuiApplication::applicationState() == Qt::ApplicationActive)
        return;
    playCompletionSound();
    QWidget* target = window ? window->window() : QApplication::activeWindow();
    if (!target) {
        const auto windows = QApplication::topLevelWidgets();
        for (QWidget* candidate : windows) {
            if (candidate->isVisible()) {
                target = candidate;
                break;
            }
        }
    }
    if (target)
        QApplication::alert(target, 0);
}

} // namespace glintwork
