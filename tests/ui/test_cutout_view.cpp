#include <atomic>
#include <chrono>
#include <thread>

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "UiTestSupport.h"
#include "support/TestSupport.h"
#include "batch/FileService.h"
#include "batch/views/BatchListModel.h"
#include "batch/views/BatchListView.h"
#include "batch/views/BatchSummaryView.h"
#include "batch/views/DropZoneView.h"
#include "batch/views/SegmentedControl.h"
#include "cutout/CutoutTestImages.h"
#include "cutout/CutoutViewModel.h"
#include "cutout/views/CutoutSettingsBar.h"
#include "cutout/views/CutoutView.h"
#include "naming/views/NamingView.h"
#include "platform/ImageServices.h"
#include "platform/PreferenceStore.h"
#include "platform/SharedOutputSettings.h"

using namespace glintwork;

namespace {

// A mask source that holds every file until the test lets go, so a run can be watched
// and cancelled while it is going.
class HeldRemover : public BackgroundRemoving {
public:
    std::shared_ptr<std::atomic<bool>> release = std::make_shared<std::atomic<bool>>(false);

    Image generateMask(const Image& image) const override {
        while (!release->load())
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        Image mask = Image::make(image.width, image.height, 8, AlphaInfo::none,
                                 ColorSpace::linearGray(), 1);
        std::fill(mask.pixels.begin(), mask.pixels.end(), 255);
        return mask;
    }
    Image generatePersonMatte(const Image& image) const override { return generateMask(image); }
};

} // namespace

class CutoutViewTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void settingsBarFollowsAndStoresTheSettings();
    void convertColumnFollowsTheFormat_data();
    void convertColumnFollowsTheFormat();
    void deletingTheLastRowBringsBackTheDropZone();
    void returnStartsEscapeCancels();
    void subjectOnPlainBackgroundIsCutOutEndToEnd();

private:
    QTemporaryDir m_config;
    QTemporaryDir m_files;
    QTemporaryDir m_resources;
    std::unique_ptr<test::ResourceFolder> m_current;
    std::unique_ptr<SharedOutputSettings> m_shared;
    int m_folderCounter = 0;

    QString freshFolder() { return m_files.filePath(QStringLiteral("set%1").arg(m_folderCounter++)); }
};

void CutoutViewTest::initTestCase() {
    QVERIFY(m_config.isValid());
    test::isolatePreferences(m_config);
    // No segmentation network: the built-in segmenter decides, the same on every machine.
    m_current = std::make_unique<test::ResourceFolder>(m_resources.path());
    m_shared = std::make_unique<SharedOutputSettings>();
}

void CutoutViewTest::init() {
    PreferenceStore store;
    for (const char* key : {"mode", "outputFormat", "exportMaskSeparately", "namingMode", "nameSuffix"})
        store.remove(preferenceKey(TabKind::cutout, key));
}

void CutoutViewTest::settingsBarFollowsAndStoresTheSettings() {
    CutoutView view(m_shared.get());
    view.driver()->addFiles(test::writeImages(freshFolder(), 1));
    view.show();
    CutoutSettingsBar* bar = view.settingsBar();
    QCOMPARE(bar->modePicker()->segment(0)->text(), QStringLiteral("Clean Edges"));
    QCOMPARE(bar->modePicker()->segment(1)->text(), QStringLiteral("Lossless"));
    QCOMPARE(bar->modePicker()->currentIndex(), 1);
    QCOMPARE(bar->modePicker()->toolTip(), cutoutModeHelpText());
    QCOMPARE(bar->exportMaskToggle()->text(), QStringLiteral("Export mask separately"));
    QCOMPARE(bar->exportMaskToggle()->toolTip(),
             QStringLiteral("Writes a grayscale PNG mask alongside the cutout, using the same "
                            "basename plus -mask."));
    QCOMPARE(bar->namingView()->suffixField()->text(), QStringLiteral("-cutout"));
    QCOMPARE(bar->namingView()->suffixField()->placeholderText(), QStringLiteral("-cutout"));
    // No network in this resource folder: the tab says what that means, and stops saying it
    // once one is installed.
    QVERIFY(bar->networkNotice() && bar->networkNotice()->isVisible());
    QVERIFY(bar->networkNotice()->text().contains(QStringLiteral("scripts/setup-models")));
    QDir(m_resources.path()).mkpath(QStringLiteral("models"));
    QFile network(m_resources.filePath(QStringLiteral("models/subject-segmentation.onnx")));
    QVERIFY(network.open(QIODevice::WriteOnly));
    network.close();
    QVERIFY(!CutoutSettingsBar(view.driver()).networkNotice());
    QFile::remove(network.fileName());

    QTest::mouseClick(bar->modePicker()->segment(0), Qt::LeftButton);
    QTest::mouseClick(bar->exportMaskToggle(), Qt::LeftButton, {},
                      QPoint(4, bar->exportMaskToggle()->height() / 2));
    QCOMPARE(view.driver()->settings().mode, CutoutMode::cleanEdges);
    QVERIFY(view.driver()->settings().exportMaskSeparately);
    PreferenceStore store;
    QCOMPARE(store.string(QStringLiteral("glintwork.cutout.mode"), {}), QStringLiteral("cleanEdges"));
    QCOMPARE(store.boolean(QStringLiteral("glintwork.cutout.exportMaskSeparately"), false), true);

    // A second view of the tab comes up with what was stored.
    CutoutView again(m_shared.get());
    again.driver()->addFiles(test::writeImages(freshFolder(), 1));
    again.show();
    QCOMPARE(again.settingsBar()->modePicker()->currentIndex(), 0);
    QVERIFY(again.settingsBar()->exportMaskToggle()->isChecked());
}

void CutoutViewTest::convertColumnFollowsTheFormat_data() {
    QTest::addColumn<bool>("rowCompleted");
    QTest::newRow("waiting row") << false;
    QTest::newRow("row already cut out as PNG") << true;
}

void CutoutViewTest::convertColumnFollowsTheFormat() {
    QFETCH(bool, rowCompleted);
    CutoutView view(m_shared.get());
    view.driver()->addFiles(test::writeImages(freshFolder(), 2));
    view.show();
    if (rowCompleted)
        view.driver()->items().at(1)->setStatus(ConversionStatus::completed());
    const BatchListModel* model = view.fileList()->listModel();
    const QModelIndex convert = model->index(1, model->section(BatchListModel::Column::convert));
    QCOMPARE(convert.data().toString(), QStringLiteral("PNG → PNG"));
    QSignalSpy changed(model, &QAbstractItemModel::dataChanged);
    QComboBox* picker = view.settingsBar()->formatPicker();
    picker->setFocus();
    QTest::keyClick(picker, Qt::Key_Down);
    QCOMPARE(view.driver()->settings().outputFormat, CutoutOutputFormat::tiff);
    QCOMPARE(convert.data().toString(), QStringLiteral("PNG → TIFF"));
    QVERIFY(!changed.isEmpty());
    QCOMPARE(model->headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(), QStringLiteral("File"));
    QCOMPARE(model->columnCount(), 4);
}

void CutoutViewTest::deletingTheLastRowBringsBackTheDropZone() {
    CutoutView view(m_shared.get());
    view.show();
    QVERIFY(!view.isShowingList());
    QVERIFY(test::dropFiles(view.dropZone(), test::writeImages(freshFolder(), 2)));
    QVERIFY(view.isShowingList());
    for (int remaining = 2; remaining > 0; --remaining) {
        QMenu* menu = view.fileList()->contextMenuForRow(0);
        QVERIFY(menu);
        QCOMPARE(menu->actions().size(), 1);
        QCOMPARE(menu->actions().first()->text(), QStringLiteral("Delete"));
        menu->actions().first()->trigger();
        QCOMPARE(view.driver()->items().size(), remaining - 1);
    }
    QVERIFY(!view.isShowingList());
    QVERIFY(view.dropZone()->isVisible());
}

void CutoutViewTest::returnStartsEscapeCancels() {
    CutoutView view(m_shared.get());
    view.show();
    QApplication::setActiveWindow(&view);
    QVERIFY(QTest::qWaitForWindowActive(&view));
    auto remover = std::make_shared<HeldRemover>();
    view.driver()->setPipeline(test::cutoutWith(remover));
    view.driver()->setConcurrencyLimit(1);
    view.driver()->addFiles(test::writeImages(freshFolder(), 3));
    QCOMPARE(view.startButton()->text(), QStringLiteral("Start Processing"));
    QVERIFY(view.startButton()->isEnabled());

    QTest::keyClick(view.fileList(), Qt::Key_Return);
    QVERIFY(view.driver()->isRunning());
    QVERIFY(!view.startButton()->isVisible());
    QVERIFY(view.cancelButton()->isVisible());
    QCOMPARE(view.cancelButton()->text(), QStringLiteral("Cancel"));
    QVERIFY(!view.clearButton()->isEnabled());

    QSignalSpy finished(view.driver(), &CutoutViewModel::runFinished);
    QTest::keyClick(view.fileList(), Qt::Key_Escape);
    QVERIFY(view.driver()->isCancelling());
    QCOMPARE(view.cancelButton()->text(), QStringLiteral("Cancelling…"));
    QVERIFY(!view.cancelButton()->isEnabled());
    remover->release->store(true);
    QVERIFY(finished.wait(30000));
    QCOMPARE(finished.first().first().toBool(), true);
    QVERIFY(view.startButton()->isVisible());
    QVERIFY(view.clearButton()->isEnabled());
    for (const auto& item : view.driver()->items())
        QVERIFY(!item->status().is(ConversionStatus::Kind::waiting));
}

void CutoutViewTest::subjectOnPlainBackgroundIsCutOutEndToEnd() {
    const QString folder = freshFolder();
    QVERIFY(QDir().mkpath(folder));
    const std::uint8_t background[3] = {240, 240, 240};
    const std::uint8_t subject[3] = {30, 90, 200};
    const QString input = folder + QStringLiteral("/subject.png");
    ImageServices::writePNG(test::discOnBackground(160, 120, background, subject, 0.3), input);

    CutoutView view(m_shared.get());
    view.show();
    QApplication::setActiveWindow(&view);
    QVERIFY(QTest::qWaitForWindowActive(&view));
    QVERIFY(test::dropFiles(view.dropZone(), {QUrl::fromLocalFile(input)}));
    QVERIFY(!view.summary()->isVisible());
    QVERIFY(!view.openFolderButton()->isEnabled());

    QSignalSpy finished(view.driver(), &CutoutViewModel::runFinished);
    QTest::mouseClick(view.startButton(), Qt::LeftButton);
    QVERIFY(view.summary()->isShowingBusyNote() || finished.size() == 1);
    QVERIFY(finished.size() == 1 || finished.wait(60000));
    QCOMPARE(finished.first().first().toBool(), false);

    const ImageItem* item = view.driver()->items().first().get();
    QCOMPARE(item->status(), ConversionStatus::completed());
    QVERIFY(item->outputURL());
    QCOMPARE(item->outputURL()->fileName(), QStringLiteral("subject-cutout.png"));
    const Image cutout = ImageServices::toRGBA8(ImageServices::decode(item->outputURL()->toLocalFile()));
    QCOMPARE(cutout.width, 160);
    QCOMPARE(cutout.height, 120);
    // The background corner is clear, the middle of the disc opaque and unchanged.
    QCOMPARE(int(cutout.row(2)[2 * 4 + 3]), 0);
    const std::uint8_t* centre = cutout.row(60) + 80 * 4;
    QCOMPARE(int(centre[3]), 255);
    QCOMPARE(int(centre[0]), int(subject[0]));
    QCOMPARE(int(centre[2]), int(subject[2]));

    QVERIFY(view.summary()->isVisible());
    QCOMPARE(view.summary()->filesText(), QStringLiteral("1/1 files"));
    QVERIFY(!view.summary()->isShowingBusyNote());
    QVERIFY(view.openFolderButton()->isEnabled());
    // Everything is done: nothing left to start.
    QVERIFY(!view.startButton()->isEnabled());
    const BatchListModel* model = view.fileList()->listModel();
    QCOMPARE(model->index(0, model->section(BatchListModel::Column::status)).data().toString(),
             QStringLiteral("Done"));
    // The size is the input's; the cut-out's own size is not compared with it.
    QCOMPARE(model->index(0, model->section(BatchListModel::Column::size)).data().toString(),
             FileService::formatByteCount(item->originalSize()));
    QVERIFY(!model->index(0, 0).data(BatchListModel::CompressedSizeRole).isValid());
}

QTEST_MAIN(CutoutViewTest)
#include "test_cutout_view.moc"
