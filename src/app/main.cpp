#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QIcon>
#include <QThreadPool>

#include "app/MainWindow.h"
#include "app/RootView.h"
#include "app/Translations.h"
#include "app/UpdateChecker.h"
#include "batch/BatchRunner.h"
#include "app/ToolSelection.h"
#include "batch/views/BatchToolView.h"
#include "platform/AbandonableWork.h"
#include "platform/Resources.h"
#include "platform/SharedOutputSettings.h"
#include "platform/StopSignals.h"
#include "platform/ThreadBudget.h"

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

constexpr const char* kUsage =
    "Usage: glintwork [--tool compress|cutout|upscale] [FILE|FOLDER]...\n"
    "Opens the Glintwork window; files and folders named are added to the tool's list\n"
    "(Compress when none is named).\n\n"
    "Options:\n"
    "  --tool NAME    the tab that takes the files: compress, cutout or upscale\n"
    "  -h, --help     print this text and exit\n"
    "  -V, --version  print the version and exit\n\n"
    "For batches without a window, see glintwork-cli --help.\n";

// --help and --version answer in the terminal before any window (or display) is needed.
std::optional<int> answerInTerminal(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--") == 0)
            break;
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0 || std::strcmp(argv[i], "-V") == 0) {
            std::printf("glintwork %s\n", GLINTWORK_VERSION);
            return 0;
        }
    }
    return std::nullopt;
}

int runApplication(int argc, char** argv) {
    QApplication app(argc, argv);
    ThreadBudget::apply();
    QApplication::setApplicationName(QStringLiteral("Glintwork"));
    QApplication::setApplicationVersion(QStringLiteral(GLINTWORK_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("io.glintwork.Glintwork"));
    chooseIconTheme();
    if (const auto icon = Resources::path(QStringLiteral("icons/glintwork.svg")))
        QApplication::setWindowIcon(QIcon(*icon));
    installTranslations(app);

    QCommandLineParser parser;
    const QCommandLineOption toolOption(QStringLiteral("tool"), QString(), QStringLiteral("name"),
                                        QStringLiteral("compress"));
    parser.addOption(toolOption);
    parser.addPositionalArgument(QStringLiteral("files"), QString());
    std::optional<TabKind> tool;
    if (parser.parse(QApplication::arguments())) {
        for (TabKind tab : kAllTabKinds) {
            if (keyword(tab) == parser.value(toolOption))
                tool = tab;
        }
    }
    if (!tool) {
        const QString problem =
            parser.errorText().isEmpty()
                ? QStringLiteral("unknown tool \"%1\"").arg(parser.value(toolOption))
                : parser.errorText();
        std::fprintf(stderr, "glintwork: %s\n%s", qPrintable(problem), kUsage);
        return 2;
    }

    SharedOutputSettings outputSettings;
    UpdateChecker updateChecker(UpdateChecker::configuredFeed(),
                                QVersionNumber::fromString(QApplication::applicationVersion()));
    MainWindow window(&outputSettings, &updateChecker);
    window.show();
    // Files handed over by the desktop ("Open With Glintwork") or named in the terminal
    // land in the list of the tool asked for.
    QList<QUrl> files;
    for (const QString& argument : parser.positionalArguments())
        files.append(QUrl::fromUserInput(argument, QDir::currentPath(), QUrl::AssumeLocalFile));
    window.rootView()->toolSelection()->setActiveTab(*tool);
    if (!files.isEmpty())
        window.rootView()->toolView()->toolDriver()->addFilesInBackground(files);
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
    if (const auto answered = answerInTerminal(argc, argv))
        return *answered;
    const int status = runApplication(argc, argv);
    // An upscale or cut-out cancelled on quitting may leave its network's pass computing on
    // another thread; the library's static destructors must not run under it.
    if (AbandonableWork::abandonedCount() > 0) {
        std::fflush(nullptr);
        std::_Exit(status);
    }
    return status;
}
