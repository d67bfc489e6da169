#include <QAbstractButton>
#include <QAction>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "UiTestSupport.h"
#include "app/MainWindow.h"
#include "app/RootView.h"
#include "app/RootViewModel.h"
#include "app/TabBar.h"
#include "app/UpdateChecker.h"
#include "batch/views/BatchToolView.h"
#include "batch/views/DropZoneView.h"
#include "batch/views/OutputFolderRow.h"
#include "compress/ConversionViewModel.h"
#include "compress/views/CompressSettingsBar.h"
#include "compress/views/CompressView.h"
#include "platform/SharedOutputSettings.h"

using namespace glintwork;

class RootViewTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void opensOnCompress();
    void eachTabShowsItsToolAndSwitchingEmptiesTheListButKeepsTheFolder();
    void aRunLeftBehindFinishesBeforeItsDriverGoes();
    void updateItemFollowsTheChecker();

private:
    QTemporaryDir m_config;
    QTemporaryDir m_files;
};

void RootViewTest::initTestCase() {
    QVERIFY(m_config.isValid());
    test::isolatePreferences(m_config);
}

void RootViewTest::opensOnCompress() {
    SharedOutputSettings shared;
    {
        RootView root(&shared);
        root.model()->setActiveTab(TabKind::upscale);
    }
    RootView root(&shared);
    QCOMPARE(root.model()->activeTab(), TabKind::compress);
    QCOMPARE(root.tabBar()->currentIndex(), 0);
    QVERIFY(qobject_cast<CompressView*>(root.toolView()));
}

void RootViewTest::eachTabShowsItsToolAndSwitchingEmptiesTheListButKeepsTheFolder() {
    SharedOutputSettings shared;
    const QString out = m_files.filePath(QStringLiteral("out"));
    QVERIFY(QDir().mkpath(out));
    shared.setDirectory(QUrl::fromLocalFile(out));
    RootView root(&shared);
    root.show();
    auto* compress = qobject_cast<CompressView*>(root.toolView());
    QVERIFY(compress);
    compress->driver()->addFiles(test::writeImages(m_files.filePath(QStringLiteral("in")), 2));
    QPointer<ConversionViewModel> oldDriver = compress->driver();

    const char* classes[] = {"glintwork::CompressView", "glintwork::CutoutView", "glintwork::UpscaleView"};
    for (int tab : {1, 2, 0}) {
        QTest::mouseClick(root.tabBar()->segment(tab), Qt::LeftButton);
        QCOMPARE(root.model()->activeTab(), static_cast<TabKind>(tab));
        auto* tool = qobject_cast<BatchToolView*>(root.toolView());
        QVERIFY(tool && tool->isVisible());
        QCOMPARE(tool->metaObject()->className(), classes[tab]);
        QVERIFY(!tool->isShowingList());
        QCOMPARE(tool->dropZone()->tab(), static_cast<TabKind>(tab));
        // An idle driver goes with its view at once.
        QVERIFY(oldDriver.isNull());
    }

    compress = qobject_cast<CompressView*>(root.toolView());
    compress->driver()->addFiles(test::writeImages(m_files.filePath(QStringLiteral("in2")), 1));
    const OutputFolderRow* row = compress->settingsBar()->outputFolderRow();
    QCOMPARE(shared.outputDirectory(), std::optional<QUrl>(QUrl::fromLocalFile(out)));
    QVERIFY(row->displayedPath().endsWith(QStringLiteral("/out")));
    QVERIFY(row->useInputFolderButton()->isVisibleTo(compress));
}

void RootViewTest::aRunLeftBehindFinishesBeforeItsDriverGoes() {
    SharedOutputSettings shared;
    RootView root(&shared);
    root.show();
    auto* compress = qobject_cast<CompressView*>(root.toolView());
    test::ControlledPipeline converter;
    converter.attach(compress->driver());
    compress->driver()->addFiles(test::writeImages(m_files.filePath(QStringLiteral("run")), 2));
    const ItemList items = compress->driver()->items();
    compress->driver()->start();
    QPointer<ConversionViewModel> driver = compress->driver();
    QSignalSpy finished(driver.data(), &ConversionViewModel::runFinished);

    root.model()->setActiveTab(TabKind::cutout);
    QVERIFY(!driver.isNull());
    QVERIFY(driver->isRunning());
    QVERIFY(!driver->isCancelling());

    converter.release->store(true);
    QVERIFY(finished.wait(30000));
    QCOMPARE(finished.first().first().toBool(), false);
    for (const auto& item : items) {
        QCOMPARE(item->status(), ConversionStatus::completed());
        QVERIFY(item->outputURL());
        QVERIFY(QFileInfo::exists(item->outputURL()->toLocalFile()));
    }
    QTRY_VERIFY(driver.isNull());
}

void RootViewTest::updateItemFollowsTheChecker() {
    SharedOutputSettings shared;
    UpdateChecker withoutFeed(std::nullopt, QVersionNumber(0, 1, 0));
    MainWindow cannotCheck(&shared, &withoutFeed);
    QVERIFY(!cannotCheck.checkForUpdatesAction()->isEnabled());

    UpdateChecker withFeed(QUrl(QStringLiteral("http://127.0.0.1:9/appcast.xml")),
                           QVersionNumber(0, 1, 0));
    MainWindow canCheck(&shared, &withFeed);
    QVERIFY(canCheck.checkForUpdatesAction()->isEnabled());
    canCheck.checkForUpdatesAction()->trigger();
    // While the check runs, a second one cannot start.
    QVERIFY(!canCheck.checkForUpdatesAction()->isEnabled());
    QSignalSpy done(&withFeed, &UpdateChecker::checkFinished);
    QVERIFY(done.wait(30000));
    QVERIFY(canCheck.checkForUpdatesAction()->isEnabled());
}

QTEST_MAIN(RootViewTest)
#include "test_root_view.moc"
