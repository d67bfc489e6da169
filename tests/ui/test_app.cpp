#include <QAction>
#include <QComboBox>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include "UiTestSupport.h"
#include "support/TestSupport.h"
#include "app/AcknowledgementsView.h"
#include "app/AppSettingsView.h"
#include "app/MainWindow.h"
#include "app/RootView.h"
#include "app/RootViewModel.h"
#include "app/TabBar.h"
#include "app/UpdateChecker.h"
#include "batch/views/DropZoneView.h"
#include "batch/views/OutputFolderRow.h"
#include "compress/ConversionViewModel.h"
#include "compress/views/CompressSettingsBar.h"
#include "compress/views/CompressView.h"
#include "platform/PreferenceStore.h"
#include "platform/SharedOutputSettings.h"

using namespace glintwork;

namespace {

QByteArray appcast(const QByteArray& items) {
    return R"(<?xml version="1.0" encoding="utf-8"?>
<rss version="2.0" xmlns:sparkle="http://www.andymatuschak.org/xml-namespaces/sparkle">
<channel><title>Glintwork</title>)" +
           items + "</channel></rss>";
}

QByteArray enclosureItem(const QByteArray& version, const QByteArray& link) {
    return "<item><link>" + link + "</link><enclosure url=\"https://example.org/g.tar.gz\" " +
           "sparkle:version=\"" + version + "\"/></item>";
}

struct FeedCase {
    const char* name;
    QByteArray feed; // none: the feed cannot be fetched
    UpdateChecker::Outcome outcome;
    const char* version;
    const char* page;
};

// The program checking is version 0.1.0.
const FeedCase kFeedCases[] = {
    {"same or older",
     appcast(enclosureItem("0.0.9", "https://example.org/b") + enclosureItem("0.1.0", "https://example.org/a")),
     UpdateChecker::Outcome::upToDate, "0.1.0", "https://example.org/a"},
    // 0.10.0 is newer than 0.9.0: numbers, not text, are compared.
    {"newest among several",
     appcast(enclosureItem("0.9.0", "https://example.org/c") +
             enclosureItem("0.10.0", "https://example.org/e") +
             enclosureItem("0.1.0", "https://example.org/d")),
     UpdateChecker::Outcome::updateAvailable, "0.10.0", "https://example.org/e"},
    {"versions in elements",
     appcast("<item><sparkle:version>12</sparkle:version><sparkle:shortVersionString>1.2.0"
             "</sparkle:shortVersionString><sparkle:releaseNotesLink>https://example.org/notes"
             "</sparkle:releaseNotesLink><enclosure url=\"https://example.org/x.tar.gz\"/></item>"),
     UpdateChecker::Outcome::updateAvailable, "1.2.0", "https://example.org/notes"},
    {"not an appcast", "<html><body>hello</body>", UpdateChecker::Outcome::failed, "", ""},
    {"not there", "", UpdateChecker::Outcome::failed, "", ""},
};

} // namespace

// The window around the tools: its tabs, the settings sheet and the update check.
class AppTest : public QObject {
    Q_OBJECT

    std::optional<test::ScratchDir> m_dir; // a fresh one, with fresh preferences, per test

private Q_SLOTS:
    void init() { m_dir.emplace(); }

    void eachTabShowsItsToolAndARunLeftBehindFinishesBeforeItsDriverGoes() {
        SharedOutputSettings shared;
        shared.setDirectory(QUrl::fromLocalFile(m_dir->path()));
        RootView root(&shared);
        root.show();
        auto* compress = qobject_cast<CompressView*>(root.toolView());
        test::ControlledPipeline pipeline;
        pipeline.attach(compress->driver());
        compress->driver()->addFiles(test::writeImages(m_dir->filePath(QStringLiteral("run")), 2));
        const ItemList items = compress->driver()->items();
        compress->driver()->start();
        QPointer<ConversionViewModel> running = compress->driver();
        QSignalSpy finished(running.data(), &ConversionViewModel::runFinished);

        for (int tab : {1, 2, 0}) {
            QTest::mouseClick(root.tabBar()->segment(tab), Qt::LeftButton);
            auto* tool = qobject_cast<BatchToolView*>(root.toolView());
            QVERIFY(tool && tool->isVisible() && !tool->isShowingList());
            QCOMPARE(tool->dropZone()->tab(), static_cast<TabKind>(tab));
        }
        QVERIFY(running && running->isRunning() && !running->isCancelling());
        pipeline.release->store(true);
        QVERIFY(finished.wait(30000));
        for (const auto& item : items)
            QVERIFY(QFileInfo::exists(item->outputURL().value_or(QUrl()).toLocalFile()));
        QTRY_VERIFY(running.isNull());

        // The output folder is shared by the tabs.
        compress = qobject_cast<CompressView*>(root.toolView());
        compress->driver()->addFiles(test::writeImages(m_dir->filePath(QStringLiteral("in")), 1));
        const OutputFolderRow* row = compress->settingsBar()->outputFolderRow();
        QVERIFY(row->displayedPath().endsWith(QLatin1Char('/') + QDir(m_dir->path()).dirName()));
        QVERIFY(row->useInputFolderButton()->isVisibleTo(compress));
        // An idle driver goes with its view at once.
        const QPointer<ConversionViewModel> idle = compress->driver();
        QTest::mouseClick(root.tabBar()->segment(2), Qt::LeftButton);
        QVERIFY(idle.isNull());

        // The window opens on Compress whatever tab was in front last.
        QCOMPARE(RootView(&shared).model()->activeTab(), TabKind::compress);
    }

    void checksAgainstALocalAppcast_data() { test::addRows(kFeedCases); }
    void checksAgainstALocalAppcast() {
        QFETCH(int, row);
        const FeedCase& c = kFeedCases[row];
        const QString feed = m_dir->filePath(QStringLiteral("appcast.xml"));
        if (!c.feed.isEmpty())
            m_dir->writeFile(QStringLiteral("appcast.xml"), c.feed);
        UpdateChecker checker(QUrl::fromLocalFile(feed), QVersionNumber(0, 1, 0));
        SharedOutputSettings shared;
        MainWindow window(&shared, &checker);
        QAction* menuItem = window.checkForUpdatesAction();
        QSignalSpy finished(&checker, &UpdateChecker::checkFinished);
        menuItem->trigger();
        // While the check runs, a second one cannot start and is not sent.
        QVERIFY(!menuItem->isEnabled());
        checker.checkForUpdates();
        QVERIFY(finished.wait(30000));
        QVERIFY(menuItem->isEnabled());
        // The answer is shown.
        QTRY_VERIFY(window.findChild<QMessageBox*>());
        QCOMPARE(finished.size(), 1);
        const auto result = finished.first().first().value<UpdateChecker::Result>();
        QCOMPARE(result.outcome, c.outcome);
        QCOMPARE(result.release.displayVersion, QString::fromLatin1(c.version));
        QCOMPARE(result.release.page, QUrl(QString::fromLatin1(c.page)));
        QCOMPARE(result.error.isEmpty(), c.outcome != UpdateChecker::Outcome::failed);
    }

    void theFeedComesFromUpdateConf() {
        const test::ResourceFolder current(m_dir->path());
        // Without a feed the menu item stays off.
        SharedOutputSettings shared;
        UpdateChecker withoutFeed(UpdateChecker::configuredFeed(), QVersionNumber(0, 1, 0));
        QVERIFY(!MainWindow(&shared, &withoutFeed).checkForUpdatesAction()->isEnabled());

        m_dir->writeFile(QStringLiteral("update.conf"), "# feed = https://example.org/commented.xml\n"
                                                         "feed = https://example.org/glintwork/appcast.xml\n");
        QCOMPARE(UpdateChecker::configuredFeed(),
                 std::optional(QUrl(QStringLiteral("https://example.org/glintwork/appcast.xml"))));
    }

    void languagePickerOpensOnTheStoredLanguage_data() {
        QTest::addColumn<QStringList>("stored");
        QTest::addColumn<QString>("shown");
        QTest::newRow("German") << QStringList{QStringLiteral("de")} << "Deutsch";
        QTest::newRow("Japan's Japanese")
            << QStringList{QStringLiteral("ja-JP"), QStringLiteral("en")} << "日本語";
        QTest::newRow("a language not offered")
            << QStringList{QStringLiteral("fr-FR")} << "System Default";
        QTest::newRow("an empty list") << QStringList{} << "System Default";
    }
    void languagePickerOpensOnTheStoredLanguage() {
        QFETCH(QStringList, stored);
        QFETCH(QString, shown);
        PreferenceStore().setStringList(kAppleLanguagesKey, stored);
        AppSettingsView sheet;
        QCOMPARE(sheet.languagePicker()->currentText(), shown);
    }

    void acknowledgementsShowTheBundledTextOrSayItIsMissing() {
        AppSettingsView sheet;
        sheet.show();
        sheet.acknowledgementsButton()->click();
        QVERIFY(sheet.acknowledgementsSheet());
        QFile licences(qEnvironmentVariable("GLINTWORK_RESOURCES") +
                       QStringLiteral("/LICENSE-THIRD-PARTY.txt"));
        QVERIFY(licences.open(QIODevice::ReadOnly));
        QCOMPARE(sheet.acknowledgementsSheet()->text(), QString::fromUtf8(licences.readAll()));

        const test::ResourceFolder current(m_dir->path());
        QCOMPARE(AcknowledgementsView().text(),
                 QStringLiteral("Third-party license information is unavailable."));
    }

    // Last: it ends the application's event loop.
    void choosingALanguageStoresItAndAsksForARestart() {
        AppSettingsView sheet;
        sheet.show();
        // Closed without a choice, nothing is stored.
        QTest::keyClick(&sheet, Qt::Key_Escape);
        QVERIFY(!sheet.isVisible() && !sheet.restartAlert());
        QVERIFY(!PreferenceStore().contains(kAppleLanguagesKey));

        // Choosing Deutsch from the keyboard, as a user would.
        sheet.show();
        QComboBox* picker = sheet.languagePicker();
        picker->setFocus();
        for (int i = 0; i < 4; ++i)
            QTest::keyClick(picker, Qt::Key_Down);
        QCOMPARE(sheet.selection(), AppLanguage::de);
        QCOMPARE(PreferenceStore().stringList(kAppleLanguagesKey), QStringList{QStringLiteral("de")});
        QVERIFY(sheet.restartAlert() && sheet.restartAlert()->isVisible());
        QTest::keyClick(sheet.restartAlert(), Qt::Key_Escape); // "Later"
        QTRY_VERIFY(!sheet.restartAlert());
        QVERIFY(sheet.isVisible());

        sheet.select(AppLanguage::system);
        QVERIFY(!PreferenceStore().contains(kAppleLanguagesKey));
        QVERIFY(sheet.restartAlert());
        QTest::keyClick(sheet.restartAlert(), Qt::Key_Return); // "Quit Now"
        QVERIFY(!sheet.isVisible());
        // The application is asked to quit a moment later: its loop ends with the quit's
        // status, not with the guard's.
        QTimer::singleShot(20000, qApp, [] { QCoreApplication::exit(1); });
        QCOMPARE(QCoreApplication::exec(), 0);
    }
};

QTEST_MAIN(AppTest)
#include "test_app.moc"
