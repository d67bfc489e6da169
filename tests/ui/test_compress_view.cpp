#include <sys/stat.h>

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>

#include "UiTestSupport.h"
#include "batch/views/DropZoneView.h"
#include "batch/views/SegmentedControl.h"
#include "batch/views/SizeChange.h"
#include "batch/views/TabStyle.h"
#include "compress/ConversionViewModel.h"
#include "compress/views/CompressSettingsBar.h"
#include "compress/views/CompressView.h"
#include "compress/views/FileListModel.h"
#include "compress/views/FileListView.h"
#include "compress/views/SummaryView.h"
#include "naming/views/NamingView.h"
#include "platform/PreferenceStore.h"
#include "platform/SharedOutputSettings.h"

using namespace glintwork;

Q_DECLARE_METATYPE(glintwork::TabKind)
Q_DECLARE_METATYPE(glintwork::NamingConfig)

class CompressViewTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void droppedFolderSwitchesToTheList();
    void unusableDropsAreShownInOneMessage();
    void returnStartsAndEscapeCancels();
    void returnDoesNothingWhileARunIsGoing();
    void presetHighlightFollowsTheSlider();
    void widthFieldKeepsOnlyDigits();
    void summaryAppearsWithTheFirstCompletedItem();
    void convertColumnFollowsTheChosenFormat();
    void deleteInTheContextMenuRemovesTheRow();
    void sizeChangeColours_data();
    void sizeChangeColours();
    void namingDefaultSuffixPerTab_data();
    void namingDefaultSuffixPerTab();
    void typedSuffixSurvivesModeChanges();
    void thousandsOfItemsAreOneModelNotManyWidgets();

private:
    QTemporaryDir m_config;
    QTemporaryDir m_files;
    std::unique_ptr<SharedOutputSettings> m_shared;
    int m_folderCounter = 0;

    QString freshFolder() { return m_files.filePath(QStringLiteral("set%1").arg(m_folderCounter++)); }
};

void CompressViewTest::initTestCase() {
    QVERIFY(m_config.isValid());
    test::isolatePreferences(m_config);
    m_shared = std::make_unique<SharedOutputSettings>();
}

void CompressViewTest::init() {
    PreferenceStore store;
    for (const char* key : {"quality", "outputFormat", "resizeEnabled", "resizeMaxWidth",
                            "resizeMaxHeight", "namingMode", "nameSuffix"})
        store.remove(preferenceKey(TabKind::compress, key));
}

void CompressViewTest::droppedFolderSwitchesToTheList() {
    CompressView view(m_shared.get());
    view.show();
    QVERIFY(!view.isShowingList());
    QVERIFY(view.dropZone()->isVisible());
    QVERIFY(!view.fileList()->isVisible());
    QVERIFY(view.dropZone()->selectFilesButton()->isVisible());
    const QString folder = freshFolder();
    test::writeImages(folder, 2);
    test::writeImages(folder + QStringLiteral("/sub"), 1, QStringLiteral("nested"));
    QFile notes(folder + QStringLiteral("/notes.txt"));
    QVERIFY(notes.open(QIODevice::WriteOnly));
    notes.close();

    QVERIFY(test::dropFiles(view.dropZone(), {QUrl::fromLocalFile(folder)}));
    QVERIFY(!view.dropZone()->isTargeted());
    QCOMPARE(view.driver()->items().size(), 3);
    QVERIFY(view.isShowingList());
    QVERIFY(view.fileList()->isVisible());
    QCOMPARE(view.fileList()->listModel()->rowCount(), 3);

    // A drag with no files does not light the zone up.
    QMimeData text;
    text.setText(QStringLiteral("hello"));
    const QPoint centre = view.dropZone()->rect().center();
    QDragEnterEvent textEnter(centre, Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(view.settingsBar()->compactDropZone(), &textEnter);
    QVERIFY(!textEnter.isAccepted());
}

void CompressViewTest::unusableDropsAreShownInOneMessage() {
    CompressView view(m_shared.get());
    view.show();
    const QString folder = freshFolder();
    QVERIFY(QDir().mkpath(folder));
    const QString missing = folder + QStringLiteral("/missing.png");
    const QString fifo = folder + QStringLiteral("/pipe.png");
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    // A drop of several files arrives as one delivery per file.
    view.driver()->addFiles({QUrl::fromLocalFile(missing)});
    view.driver()->addFiles({QUrl::fromLocalFile(fifo)});
    QVERIFY(view.driver()->items().isEmpty());

    QTRY_COMPARE(view.findChildren<QMessageBox*>().size(), 1);
    const QMessageBox* box = view.findChildren<QMessageBox*>().first();
    QTRY_VERIFY(box->isVisible());
    QVERIFY(box->informativeText().contains(missing));
    QVERIFY(box->informativeText().contains(fifo));
}

void CompressViewTest::returnStartsAndEscapeCancels() {
    CompressView view(m_shared.get());
    view.show();
    QApplication::setActiveWindow(&view);
    QVERIFY(QTest::qWaitForWindowActive(&view));

    // With nothing listed, Return starts nothing.
    QTest::keyClick(&view, Qt::Key_Return);
    QVERIFY(!view.driver()->isRunning());

    test::ControlledConverter converter;
    view.driver()->setPipeline(converter.converter());
    view.driver()->addFiles(test::writeImages(freshFolder(), 3));
    QVERIFY(view.startButton()->isVisible());
    QVERIFY(!view.cancelButton()->isVisible());
    QVERIFY(!view.openFolderButton()->isEnabled());

    QTest::keyClick(view.fileList(), Qt::Key_Return);
    QVERIFY(view.driver()->isRunning());
    QVERIFY(!view.startButton()->isVisible());
    QVERIFY(view.cancelButton()->isVisible());
    QVERIFY(view.cancelButton()->isEnabled());
    QVERIFY(!view.clearButton()->isEnabled());

    QSignalSpy finished(view.driver(), &ConversionViewModel::runFinished);
    QTest::keyClick(view.fileList(), Qt::Key_Escape);
    QVERIFY(view.driver()->isCancelling());
    QCOMPARE(view.cancelButton()->text(), QStringLiteral("Cancelling…"));
    QVERIFY(!view.cancelButton()->isEnabled());

    QVERIFY(finished.wait(30000));
    QCOMPARE(finished.first().first().toBool(), true);
    QVERIFY(!view.driver()->isRunning());
    QVERIFY(view.startButton()->isVisible());
    QVERIFY(view.clearButton()->isEnabled());
    for (const auto& item : view.driver()->items())
        QCOMPARE(item->status(), ConversionStatus::cancelled());
}

void CompressViewTest::returnDoesNothingWhileARunIsGoing() {
    CompressView view(m_shared.get());
    view.show();
    QApplication::setActiveWindow(&view);
    QVERIFY(QTest::qWaitForWindowActive(&view));
    test::ControlledConverter converter;
    view.driver()->setPipeline(converter.converter());
    view.driver()->addFiles(test::writeImages(freshFolder(), 1));
    QSignalSpy converting(view.driver(), &ConversionViewModel::isRunningChanged);
    QTest::keyClick(&view, Qt::Key_Return);
    QTest::keyClick(&view, Qt::Key_Return);
    QCOMPARE(converting.size(), 1);
    QSignalSpy finished(view.driver(), &ConversionViewModel::runFinished);
    converter.release->store(true);
    QVERIFY(finished.wait(30000));
    QCOMPARE(finished.first().first().toBool(), false);
    QCOMPARE(view.driver()->items().first()->status(), ConversionStatus::completed());
}

void CompressViewTest::presetHighlightFollowsTheSlider() {
    CompressView view(m_shared.get());
    view.driver()->addFiles(test::writeImages(freshFolder(), 1));
    view.show();
    CompressSettingsBar* bar = view.settingsBar();
    QCOMPARE(view.driver()->settings().quality, 80);
    QVERIFY(!bar->presetButton(0)->isChecked());
    QVERIFY(bar->presetButton(1)->isChecked());
    QVERIFY(!bar->presetButton(2)->isChecked());
    QCOMPARE(bar->qualityValue()->text(), QStringLiteral("80"));

    bar->qualitySlider()->setFocus();
    QTest::keyClick(bar->qualitySlider(), Qt::Key_Right);
    QCOMPARE(view.driver()->settings().quality, 81);
    QCOMPARE(PreferenceStore().integer(QStringLiteral("glintwork.compress.quality"), 0), 81);
    for (int i = 0; i < 3; ++i)
        QVERIFY(!bar->presetButton(i)->isChecked());
    QCOMPARE(bar->qualityValue()->text(), QStringLiteral("81"));

    QTest::mouseClick(bar->presetButton(2), Qt::LeftButton);
    QCOMPARE(view.driver()->settings().quality, 90);
    QCOMPARE(bar->qualitySlider()->value(), 90);
    QVERIFY(bar->presetButton(2)->isChecked());
    // Clicking the preset already in use keeps it highlighted.
    QTest::mouseClick(bar->presetButton(2), Qt::LeftButton);
    QVERIFY(bar->presetButton(2)->isChecked());
}

void CompressViewTest::widthFieldKeepsOnlyDigits() {
    CompressView view(m_shared.get());
    view.driver()->addFiles(test::writeImages(freshFolder(), 1));
    view.show();
    // Typing happens in the focused field of the active window.
    QApplication::setActiveWindow(&view);
    QVERIFY(QTest::qWaitForWindowActive(&view));
    CompressSettingsBar* bar = view.settingsBar();
    QVERIFY(!bar->maxWidthField()->isEnabled());
    QTest::mouseClick(bar->resizeToggle(), Qt::LeftButton, {},
                      QPoint(4, bar->resizeToggle()->height() / 2));
    QVERIFY(view.driver()->settings().resizeEnabled);
    QVERIFY(bar->maxWidthField()->isEnabled());
    // Turning resize on took the largest image's size (40 x 30).
    QCOMPARE(bar->maxWidthField()->text(), QStringLiteral("40"));
    QCOMPARE(bar->maxHeightField()->text(), QStringLiteral("30"));

    QLineEdit* width = bar->maxWidthField();
    width->setFocus();
    width->selectAll();
    QTest::keyClicks(width, QStringLiteral("12a34"));
    QCOMPARE(view.driver()->settings().maxWidth, std::optional<int>(1234));
    QCOMPARE(width->text(), QStringLiteral("1234"));
    QCOMPARE(PreferenceStore().integer(QStringLiteral("glintwork.compress.resizeMaxWidth"), 0), 1234);

    width->selectAll();
    QTest::keyClick(width, Qt::Key_Backspace);
    QCOMPARE(view.driver()->settings().maxWidth, std::nullopt);
    QCOMPARE(PreferenceStore().integer(QStringLiteral("glintwork.compress.resizeMaxWidth"), -1), 0);

    // A number too large for a limit is no limit.
    QTest::keyClicks(width, QStringLiteral("99999999999"));
    QCOMPARE(view.driver()->settings().maxWidth, std::nullopt);
    QCOMPARE(width->text(), QStringLiteral("99999999999"));
}

void CompressViewTest::summaryAppearsWithTheFirstCompletedItem() {
    CompressView view(m_shared.get());
    view.show();
    const QList<QUrl> urls = test::writeImages(freshFolder(), 3);
    test::ControlledConverter converter;
    converter.finishAtOnce = {QStringLiteral("photo0.png")};
    view.driver()->setPipeline(converter.converter());
    view.driver()->addFiles(urls);
    QVERIFY(!view.summary()->isVisible());

    view.driver()->start();
    ImageItem* first = view.driver()->items().first().get();
    QSignalSpy firstChanged(first, &ImageItem::statusChanged);
    while (!first->status().is(ConversionStatus::Kind::completed))
        QVERIFY(firstChanged.wait(30000));
    QVERIFY(view.summary()->isVisible());
    QVERIFY(view.openFolderButton()->isEnabled());
    // The summary recounts once the event loop has passed.
    QTRY_COMPARE(view.summary()->filesText(), QStringLiteral("1/3 files"));
    QVERIFY(view.summary()->totalsText().contains(QStringLiteral("→")));
    QVERIFY(!view.summary()->savingText().isEmpty());

    QSignalSpy finished(view.driver(), &ConversionViewModel::runFinished);
    view.driver()->cancel();
    QVERIFY(finished.wait(30000));
    QVERIFY(view.summary()->isVisible());
    view.clearButton()->click();
    QVERIFY(!view.isShowingList());
}

void CompressViewTest::convertColumnFollowsTheChosenFormat() {
    CompressView view(m_shared.get());
    view.driver()->addFiles(test::writeImages(freshFolder(), 2));
    view.show();
    const FileListModel* model = view.fileList()->listModel();
    const QModelIndex convert = model->index(1, FileListModel::ConvertColumn);
    QCOMPARE(convert.data().toString(), QStringLiteral("PNG → WebP"));
    QSignalSpy changed(model, &QAbstractItemModel::dataChanged);
    QComboBox* picker = view.settingsBar()->formatPicker();
    picker->setFocus();
    QTest::keyClick(picker, Qt::Key_Down);
    QCOMPARE(view.driver()->settings().outputFormat, OutputFormat::jpeg);
    QCOMPARE(convert.data().toString(), QStringLiteral("PNG → JPEG"));
    QVERIFY(!changed.isEmpty());
}

void CompressViewTest::deleteInTheContextMenuRemovesTheRow() {
    CompressView view(m_shared.get());
    view.driver()->addFiles(test::writeImages(freshFolder(), 3));
    view.show();
    const QUrl second = view.driver()->items().at(1)->url();
    QMenu* menu = view.fileList()->contextMenuForRow(1);
    QVERIFY(menu);
    QCOMPARE(menu->actions().size(), 1);
    QCOMPARE(menu->actions().first()->text(), QStringLiteral("Delete"));
    menu->actions().first()->trigger();
    QCOMPARE(view.driver()->items().size(), 2);
    QCOMPARE(view.fileList()->listModel()->rowCount(), 2);
    for (const auto& item : view.driver()->items())
        QVERIFY(item->url() != second);
}

void CompressViewTest::sizeChangeColours_data() {
    QTest::addColumn<qint64>("original");
    QTest::addColumn<qint64>("output");
    QTest::addColumn<QColor>("colour");
    QTest::newRow("shrank by 6%") << qint64(1000) << qint64(940) << successColor();
    QTest::newRow("shrank by 2%") << qint64(1000) << qint64(980) << warningColor();
    QTest::newRow("grew by 10%") << qint64(1000) << qint64(1100) << failureColor();
    QTest::newRow("grew by exactly 5%") << qint64(1000) << qint64(1050) << failureColor();
}

void CompressViewTest::sizeChangeColours() {
    QFETCH(qint64, original);
    QFETCH(qint64, output);
    QFETCH(QColor, colour);
    QCOMPARE(sizeChangeColor(original, output, QPalette()), colour);
    // Before conversion the sizes are in the secondary style.
    QCOMPARE(sizeChangeColor(original, std::nullopt, QPalette()), secondaryTextColor(QPalette()));
}

void CompressViewTest::namingDefaultSuffixPerTab_data() {
    QTest::addColumn<TabKind>("tab");
    QTest::addColumn<QString>("suffix");
    QTest::newRow("compress") << TabKind::compress << QString();
    QTest::newRow("cutout") << TabKind::cutout << QStringLiteral("-cutout");
    QTest::newRow("upscale") << TabKind::upscale << QStringLiteral("-upscaled-{scale}x");
}

void CompressViewTest::namingDefaultSuffixPerTab() {
    QFETCH(TabKind, tab);
    QFETCH(QString, suffix);
    NamingView view(tab);
    view.show();
    QSignalSpy edited(&view, &NamingView::configEdited);
    QTest::mouseClick(view.modePicker()->segment(1), Qt::LeftButton);
    QCOMPARE(edited.size(), 1);
    const auto config = edited.first().first().value<NamingConfig>();
    QCOMPARE(config.mode, NamingMode::suffix);
    QCOMPARE(config.suffix, suffix);
    QCOMPARE(view.suffixField()->text(), suffix);
    QCOMPARE(view.suffixField()->placeholderText(), suffix);
}

void CompressViewTest::typedSuffixSurvivesModeChanges() {
    CompressView view(m_shared.get());
    view.driver()->addFiles(test::writeImages(freshFolder(), 1));
    view.show();
    NamingView* naming = view.settingsBar()->namingView();
    QTest::mouseClick(naming->modePicker()->segment(1), Qt::LeftButton);
    naming->suffixField()->setFocus();
    QTest::keyClicks(naming->suffixField(), QStringLiteral("../x"));
    // The driver cleans the value; the field shows it once editing ends.
    QCOMPARE(view.driver()->settings().naming.suffix, QStringLiteral("__x"));
    QTest::mouseClick(naming->modePicker()->segment(2), Qt::LeftButton);
    QTest::mouseClick(naming->modePicker()->segment(1), Qt::LeftButton);
    QCOMPARE(view.driver()->settings().naming.suffix, QStringLiteral("__x"));
    QCOMPARE(naming->suffixField()->text(), QStringLiteral("__x"));
    QCOMPARE(view.driver()->settings().naming.mode, NamingMode::suffix);
}

void CompressViewTest::thousandsOfItemsAreOneModelNotManyWidgets() {
    CompressView view(m_shared.get());
    view.show();
    const QList<QUrl> one = test::writeImages(freshFolder(), 1);
    QList<QUrl> many;
    for (int i = 0; i < 3000; ++i)
        many.append(one.first());
    view.driver()->addFiles(many);
    QCOMPARE(view.fileList()->listModel()->rowCount(), 3000);
    // Rows are painted, not built: the list holds no widget per row.
    QVERIFY(view.fileList()->findChildren<QLabel*>().size() < 10);
}

QTEST_MAIN(CompressViewTest)
#include "test_compress_view.moc"
