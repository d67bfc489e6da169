#include <cstdio>
#include <cstdlib>

#include <QApplication>
#include <QDir>
#include <QIcon>
#include <QThreadPool>

#include "app/MainWindow.h"
#include "app/RootView.h"
#include "app/Translations.h"
#include "app/UpdateChecker.h"
#include "batch/BatchRunner.h"
#include "compress/ConversionViewModel.h"
#include "compress/views/CompressView.h"
#include "platform/AbandonableWork.h"
#include "platform/Resources.h"
#include "platform/SharedOutputSettings.h"
#include "platform/StopSignals.h"

using namespace glintwork;

namespace {

// Without a desktop session Qt finds no icon theme; Adwaita is what GNOME-less Debian
// systems still have installed.
void chooseIconTheme() {
    if (!QIcon::themeName().isEmpty() && QIcon::themeName() != u"hicolor")
        return;
    if (QDir(QStringLiteral("/usr/share/icons/Adwaita")).exists())
        QIcon::setThemeName(QStringLiteral("Adwaita"));
}

int runApplication(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Glintwork"));
    QApplication::setApplicationVersion(QStringLiteral(GLINTWORK_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("io.glintwork.Glintwork"));
    chooseIconTheme();
    if (const auto icon = Resources::path(QStringLiteral("icons/glintwork.svg")))
        QApplication::setWindowIcon(QIcon(*icon));
    installTranslations(app);

    SharedOutputSettings outputSettings;
    UpdateChecker updateChecker(UpdateChecker::configuredFeed(),
                                QVersionNumber::fromString(QApplication::applicationVersion()));
    MainWindow window(&outputSettings, &updateChecker);
    window.show();
    // Files handed over by the desktop ("Open With Glintwork") land in the compress list.
    QList<QUrl> files;
    for (const QString& argument : QApplication::arguments().mid(1))
        files.append(QUrl::fromUserInput(argument, QDir::currentPath(), QUrl::AssumeLocalFile));
    if (!files.isEmpty()) {
        if (auto* compress = qobject_cast<CompressView*>(window.rootView()->toolView()))
            compress->driver()->addFilesInBackground(files);
    }
    // kill, a session's end or Ctrl-C in the launching terminal quit as the window's close
    // would: runs are cancelled and their files cleaned up below.
    const StopSignals stopSignals;
    QObject::connect(&stopSignals, &StopSignals::stopRequested, &app, &QApplication::quit);
    const int status = QApplication::exec();
    // Runs were cancelled as the application quit; let their files be cleaned up before
    // the process goes.
    BatchRunner::threadPool()->waitForDone();
    return status;
}

} // namespace

int main(int argc, char** argv) {
    const int status = runApplication(argc, argv);
    // An upscale or cut-out cancelled on quitting may leave its network's pass computing on
    // another thread; the library's static destructors must not run under it.
    if (AbandonableWork::abandonedCount() > 0) {
        std::fflush(nullptr);
        std::_Exit(status);
    }
    return status;
}
