// Renders the window's main states to PNG files for a person to look at:
//   glintwork_screenshots OUTPUT_FOLDER [LANGUAGE]
// Run under a real (virtual) X display so fonts and styles are the user's.
#include <QApplication>
#include <QDir>
#include <QIcon>
#include <QPainter>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "UiTestSupport.h"
#include "app/AppLanguage.h"
#include "app/AppSettingsView.h"
#include "app/MainWindow.h"
#include "app/RootView.h"
#include "app/Translations.h"
#include "app/UpdateChecker.h"
#include "compress/ConversionViewModel.h"
#include "compress/views/CompressView.h"
#include "platform/SharedOutputSettings.h"

using namespace glintwork;

namespace {

void settle() {
    for (int i = 0; i < 5; ++i)
        QTest::qWait(60);
}

bool save(QWidget* widget, const QString& path) {
    settle();
    return widget->grab().save(path);
}

// The window with a sheet drawn over its middle, as the user sees it.
bool saveWithSheet(QWidget* window, QWidget* sheet, const QString& path) {
    settle();
    QPixmap base = window->grab();
    QPainter painter(&base);
    painter.fillRect(base.rect(), QColor(0, 0, 0, 60));
    const QPixmap top = sheet->grab();
    const QPoint at((base.width() / base.devicePixelRatio() - top.width() / top.devicePixelRatio()) / 2, 40);
    painter.drawPixmap(at, top);
    painter.end();
    return base.save(path);
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Glintwork"));
    QApplication::setApplicationVersion(QStringLiteral("0.1.0"));
    if (argc < 2) {
        qWarning("usage: glintwork_screenshots OUTPUT_FOLDER [LANGUAGE]");
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(out);
    const QString language = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QStringLiteral("en");

    QTemporaryDir config;
    test::isolatePreferences(config);
    if (language != u"en")
        applyAppLanguage(*appLanguageFromRawValue(language));
    else
        applyAppLanguage(AppLanguage::en);
    if (QIcon::themeName().isEmpty() || QIcon::themeName() == u"hicolor")
        QIcon::setThemeName(QStringLiteral("Adwaita"));
    installTranslations(app);
    const QString prefix = out + QStringLiteral("/") + language + QStringLiteral("-");

    SharedOutputSettings shared;
    UpdateChecker checker(std::nullopt, QVersionNumber(0, 1, 0));
    MainWindow window(&shared, &checker);
    window.resize(960, 700);
    window.show();
    bool ok = save(&window, prefix + QStringLiteral("1-empty.png"));

    QTemporaryDir files;
    auto* compress = qobject_cast<CompressView*>(window.rootView()->toolView());
    test::ControlledConverter converter;
    QStringList names;
    for (int i = 0; i < 9; ++i)
        names.append(QStringLiteral("holiday-photo-%1.png").arg(i));
    converter.finishAtOnce = {names[0], names[1], names[2], names[3]};
    compress->driver()->setConverter(converter.converter());
    compress->driver()->setConcurrencyLimit(2);
    compress->driver()->addFiles(test::writeImages(files.path(), 9, QStringLiteral("holiday-photo-")));
    ok = save(&window, prefix + QStringLiteral("2-list.png")) && ok;

    QSignalSpy finished(compress->driver(), &ConversionViewModel::runFinished);
    compress->driver()->startConversion();
    settle();
    ok = save(&window, prefix + QStringLiteral("3-mid-run.png")) && ok;
    converter.release->store(true);
    finished.wait(30000);
    ok = save(&window, prefix + QStringLiteral("4-summary.png")) && ok;

    window.rootView()->showSettings();
    AppSettingsView* sheet = window.rootView()->settingsSheet();
    ok = sheet && saveWithSheet(&window, sheet, prefix + QStringLiteral("5-settings.png")) && ok;
    return ok ? 0 : 1;
}
