#include <algorithm>

#include <QAction>
#include <QClipboard>
#include <QComboBox>
#include <QDBusConnection>
#include <QMessageBox>
#include <QPointer>
#include <QScopeGuard>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QTranslator>

#include "UiTestSupport.h"
#include "support/TestSupport.h"
#include "app/AboutView.h"
#include "app/AcknowledgementsView.h"
#include "app/AppSettingsView.h"
#include "app/DesktopNotification.h"
#include "app/MainWindow.h"
#include "app/RootView.h"
#include "app/ToolSelection.h"
#include "app/TabBar.h"
#include "app/UpdateChecker.h"
#include "batch/views/DropZoneView.h"
#include "batch/views/OutputFolderRow.h"
#include "compress/CompressDriver.h"
#include "compress/views/CompressSettingsBar.h"
#include "compress/views/CompressView.h"
#include "batch/views/BatchListModel.h"
#include "batch/views/BatchListView.h"
#include "cutout/CutoutDriver.h"
#include "cutout/views/CutoutView.h"
#include "platform/PreferenceStore.h"
#include "platform/SharedOutputSettings.h"

using namespace glintwork;

namespace {

QByteArray releaseFeed(const QByteArray& items) {
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
     releaseFeed(enclosureItem("0.0.9", "https://example.org/b") +
                 enclosureItem("0.1.0", "https://example.org/a")),
     UpdateChecker::Outcome::upToDate, "0.1.0", "https://example.org/a"},
    // 0.10.0 is newer than 0.9.0: numbers, not text, are compared.
    {"newest among several",
     releaseFeed(enclosureItem("0.9.0", "https://example.org/c") +
                 enclosureItem("0.10.0", "https://example.org/e") +
                 enclosureItem("0.1.0", "https://example.org/d")),
     UpdateChecker::Outcome::updateAvailable, "0.10.0", "https://example.org/e"},
    {"versions in elements",
     releaseFeed(
         "<item><sparkle:version>12</sparkle:version><sparkle:shortVersionString>1.2.0"
         "</sparkle:shortVersionString><sparkle:releaseNotesLink>https://example.org/notes"
         "</sparkle:releaseNotesLink><enclosure url=\"https://example.org/x.tar.gz\"/></item>"),
     UpdateChecker::Outcome::updateAvailable, "1.2.0", "https://example.org/notes"},
    {"not a release feed", "<html><body>hello</body>", UpdateChecker::Outcome::failed, "", ""},
    {"not there", "", UpdateChecker::Outcome::failed, "", ""},
};

// Stands in for the desktop's notification service on the session bus.
class FakeNotifications : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    QStringList received;

public Q_SLOTS:
    uint Notify(const QString& appName, uint, const QString&, const QString& summary,
                const QString& body, const QStringList&, const QVariantMap&, int) {
        received << appName + QStringLiteral(" | ") + summary + QStringLiteral(" | ") + body;
        return 1;
    }
};

} // namespace

// The window around the tools: its tabs, the settings sheet and the update check.
class AppTest : public QObject {
    Q_OBJECT

    std::optional<test::ScratchDir> m_dir; // a fresh one, with fresh preferences, per test
    QTranslator m_english;

private Q_SLOTS:
    void initTestCase() {
        // Counts read in English plural forms, as the program shows them.
        QVERIFY(
            m_english.load(QStringLiteral("glintwork_en"),
                           qEnvironmentVariable("GLINTWORK_RESOURCES") + QStringLiteral("/i18n")));
        QCoreApplication::installTranslator(&m_english);
    }

    void init() { m_dir.emplace(); }

    void tabsKeepTheirRunAndTheQuitAsksWhileOneGoes() {
        SharedOutputSettings shared;
        shared.setDirectory(QUrl::fromLocalFile(m_dir->path()));
        MainWindow window(&shared, nullptr);
        RootView* root = window.rootView();
        QStringList notified;
        root->setNotify([&](const QString&, const QString& body) { notified << body; });
        test::activate(&window);
        auto* compress = qobject_cast<CompressView*>(root->toolView());
        test::ControlledPipeline pipeline;
        // A failed check must not leave the stand-in holding a worker.
        const auto releaseAtEnd = qScopeGuard([&] { pipeline.release->store(true); });
        pipeline.finishAtOnce = {QStringLiteral("photo0.png")};
        pipeline.attach(compress->driver());
        compress->driver()->addFiles(test::writeImages(m_dir->filePath(QStringLiteral("run")), 3));
        QSignalSpy finished(compress->driver(), &CompressDriver::runFinished);
        compress->startButton()->click();
        QTRY_VERIFY(root->tabBar()->isMarkedRunning(TabKind::compress));

        // Ctrl+2 and Ctrl+3 show the other tools; the run goes on behind them.
        for (auto [key, tab] : std::initializer_list<std::pair<Qt::Key, TabKind>>{
                 {Qt::Key_2, TabKind::cutout}, {Qt::Key_3, TabKind::upscale}}) {
            QTest::keyClick(&window, key, Qt::ControlModifier);
            QCOMPARE(root->toolSelection()->activeTab(), tab);
            QVERIFY(root->toolView()->isVisible() && !root->toolView()->isShowingList());
        }
        QVERIFY(compress->driver()->isRunning() && !compress->isVisible());
        QVERIFY(!root->tabBar()->isMarkedRunning(TabKind::cutout));

        // Closing asks first; keeping the run keeps the window.
        const auto answer = [&window](const QString& button) {
            QTimer::singleShot(0, &window, [&window, button] {
                QMessageBox* question = window.quitQuestion();
                QVERIFY(question);
                QCOMPARE(question->text(), QStringLiteral("Cancel the running batch and quit?"));
                for (QAbstractButton* choice : question->buttons()) {
                    if (choice->text() == button)
                        choice->click();
                }
            });
        };
        answer(QStringLiteral("Keep Running"));
        QVERIFY(!window.close());
        QVERIFY(window.isVisible() && compress->driver()->isRunning());
        test::activate(&window);

        // Back on Compress the same list shows its run, and its Cancel works.
        QTest::keyClick(&window, Qt::Key_1, Qt::ControlModifier);
        QCOMPARE(root->toolView(), compress);
        QVERIFY(compress->isShowingList() && compress->cancelButton()->isVisible());
        QCOMPARE(compress->listView()->listModel()->rowCount(), 3);
        compress->cancelButton()->click();
        QVERIFY(finished.wait(30000));
        QCOMPARE(finished.last().first().toBool(), true);
        QVERIFY(!root->tabBar()->isMarkedRunning(TabKind::compress));
        QVERIFY(notified.isEmpty()); // a cancelled run is not announced

        // A run that ends while the window is in the background is announced.
        auto* other = new QWidget;
        other->setAttribute(Qt::WA_DeleteOnClose);
        test::activate(other);
        pipeline.release->store(true);
        compress->driver()->start();
        QVERIFY(finished.wait(30000));
        QCOMPARE(notified, QStringList{QStringLiteral("3 files compressed")});
        other->close();

        // With a run going, quitting cancels it once the user agrees; the window closes.
        pipeline.release->store(false);
        compress->driver()->clearItems();
        compress->driver()->addFiles(
            test::writeImages(m_dir->filePath(QStringLiteral("again")), 2));
        compress->driver()->start();
        answer(QStringLiteral("Cancel Batch and Quit"));
        window.quitAction()->trigger();
        QVERIFY(!window.isVisible());
        QVERIFY(compress->driver()->isCancelling() || !compress->driver()->isRunning());
        QVERIFY(!compress->driver()->isRunning() || finished.wait(30000));
    }

    void quitWithoutARunClosesAtOnce() {
        SharedOutputSettings shared;
        MainWindow window(&shared, nullptr);
        // At twice the scale a 1600 × 1000 screen leaves 800 × 500 points, with a list.
        window.rootView()
            ->tool(TabKind::compress)
            ->toolDriver()
            ->addFiles(test::writeImages(m_dir->path(), 2));
        QVERIFY2(window.minimumSizeHint().width() <= 800 &&
                     window.minimumSizeHint().height() <= 500,
                 qPrintable(QStringLiteral("%1 × %2")
                                .arg(window.minimumSizeHint().width())
                                .arg(window.minimumSizeHint().height())));
        test::activate(&window);
        QTest::keyClick(&window, Qt::Key_Q, Qt::ControlModifier);
        QVERIFY(!window.isVisible() && !window.quitQuestion());
    }

    void theNoticeReachesTheDesktopsNotificationService() {
        QDBusConnection bus = QDBusConnection::sessionBus();
        if (!bus.isConnected())
            QSKIP("no session bus (run under dbus-run-session)");
        FakeNotifications service;
        QVERIFY(bus.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &service,
                                   QDBusConnection::ExportAllSlots));
        if (!bus.registerService(QStringLiteral("org.freedesktop.Notifications")))
            QSKIP("the session bus already has a notification service");
        sendDesktopNotification(QStringLiteral("Glintwork"), QStringLiteral("3 files compressed"));
        QTRY_COMPARE(service.received,
                     QStringList{QStringLiteral("Glintwork | Glintwork | 3 files compressed")});
        bus.unregisterService(QStringLiteral("org.freedesktop.Notifications"));
        bus.unregisterObject(QStringLiteral("/org/freedesktop/Notifications"));
    }

    void menuActionsActOnTheToolInFront() {
        SharedOutputSettings shared;
        MainWindow window(&shared, nullptr);
        const QList<QUrl> images = test::writeImages(m_dir->filePath(QStringLiteral("in")), 3);
        QList<bool> askedForFolder;
        window.setChooseFiles([&](QWidget*, bool folder) {
            askedForFolder << folder;
            return folder ? QList<QUrl>{QUrl::fromLocalFile(m_dir->filePath(QStringLiteral("in")))}
                          : images.mid(0, 1);
        });
        test::activate(&window);
        QTest::keyClick(&window, Qt::Key_2, Qt::ControlModifier);
        BatchToolView* cutout = window.rootView()->toolView();
        QVERIFY(!window.selectAllAction()->isEnabled() && !window.clearListAction()->isEnabled());

        // Ctrl+O adds the chosen files; Add Folder searches the folder as a drop does.
        QTest::keyClick(&window, Qt::Key_O, Qt::ControlModifier);
        QTRY_COMPARE(cutout->toolDriver()->items().size(), 1);
        window.addFolderAction()->trigger();
        QTRY_COMPARE(cutout->toolDriver()->items().size(), 3);
        QCOMPARE(askedForFolder, (QList<bool>{false, true}));

        // Ctrl+A and Delete remove every row but one being worked on.
        QVERIFY(window.selectAllAction()->isEnabled());
        test::ControlledPipeline pipeline;
        const auto releaseAtEnd = qScopeGuard([&] { pipeline.release->store(true); });
        pipeline.attach(qobject_cast<CutoutView*>(cutout)->driver());
        cutout->toolDriver()->setConcurrencyLimit(1);
        cutout->toolDriver()->start();
        QVERIFY(!window.clearListAction()->isEnabled());
        cutout->listView()->setFocus();
        QTest::keyClick(&window, Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(cutout->listView()->selectionModel()->selectedRows().size(), 3);
        QTest::keyClick(cutout->listView(), Qt::Key_Delete);
        QCOMPARE(cutout->toolDriver()->items().size(), 1);
        QVERIFY(
            cutout->toolDriver()->items().first()->status().is(ConversionStatus::Kind::processing));
        cutout->toolDriver()->cancel();
        QTRY_VERIFY(!cutout->toolDriver()->isRunning());
        window.clearListAction()->trigger();
        QVERIFY(cutout->toolDriver()->items().isEmpty());

        // Settings… opens the sheet; About names the version and what is bundled.
        window.settingsAction()->trigger();
        QTRY_VERIFY(window.rootView()->settingsSheet());
        window.rootView()->settingsSheet()->close();
        window.aboutAction()->trigger();
        auto* about = window.findChild<AboutView*>();
        QVERIFY(about);
        QVERIFY(about->versionText().contains(QCoreApplication::applicationVersion()));
        const QStringList components = about->componentLines();
        QVERIFY(components.contains(QStringLiteral("avifenc (libavif) — BSD-2-Clause")));
        QVERIFY(!components.join(QString()).contains(QStringLiteral("sha256")));
    }

    void openOutputFolderOffersThePathWithoutAFileManager() {
        SharedOutputSettings shared;
        shared.setDirectory(QUrl::fromLocalFile(m_dir->path()));
        MainWindow window(&shared, nullptr);
        test::activate(&window);
        BatchToolView* compress = window.rootView()->toolView();
        compress->toolDriver()->addFiles(
            test::writeImages(m_dir->filePath(QStringLiteral("in")), 1));
        compress->toolDriver()->items().first()->setStatus(ConversionStatus::completed());
        QVERIFY(window.openOutputFolderAction()->isEnabled());
        BatchToolView::openFolder = [](const QUrl&) { return false; };
        window.openOutputFolderAction()->trigger();
        BatchToolView::openFolder = nullptr;
        auto* alert = qobject_cast<QMessageBox*>(compress->noFileManagerAlert());
        QVERIFY(alert);
        QVERIFY(alert->informativeText().contains(m_dir->path()));
        const QList<QAbstractButton*> buttons = alert->buttons();
        (*std::ranges::find(buttons, QStringLiteral("Copy Path"), &QAbstractButton::text))->click();
        QCOMPARE(QGuiApplication::clipboard()->text(), m_dir->path());
    }

    void checksAgainstALocalFeed_data() { test::addRows(kFeedCases); }
    void checksAgainstALocalFeed() {
        QFETCH(int, row);
        const FeedCase& c = kFeedCases[row];
        const QString feed = m_dir->filePath(QStringLiteral("releases.xml"));
        if (!c.feed.isEmpty())
            m_dir->writeFile(QStringLiteral("releases.xml"), c.feed);
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

        m_dir->writeFile(QStringLiteral("update.conf"),
                         "# feed = https://example.org/commented.xml\n"
                         "feed = https://example.org/glintwork/releases.xml\n");
        QCOMPARE(UpdateChecker::configuredFeed(),
                 std::optional(QUrl(QStringLiteral("https://example.org/glintwork/releases.xml"))));
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
        PreferenceStore().setStringList(kLanguagesKey, stored);
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
        QVERIFY(!PreferenceStore().contains(kLanguagesKey));

        // Choosing Deutsch from the keyboard, as a user would.
        sheet.show();
        QComboBox* picker = sheet.languagePicker();
        picker->setFocus();
        for (int i = 0; i < 4; ++i)
            QTest::keyClick(picker, Qt::Key_Down);
        QCOMPARE(sheet.selection(), AppLanguage::de);
        QCOMPARE(PreferenceStore().stringList(kLanguagesKey), QStringList{QStringLiteral("de")});
        QVERIFY(sheet.restartAlert() && sheet.restartAlert()->isVisible());
        QTest::keyClick(sheet.restartAlert(), Qt::Key_Escape); // "Later"
        QTRY_VERIFY(!sheet.restartAlert());
        QVERIFY(sheet.isVisible());

        sheet.select(AppLanguage::system);
        QVERIFY(!PreferenceStore().contains(kLanguagesKey));
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
