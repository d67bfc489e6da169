#include <QAbstractButton>
#include <QComboBox>
#include <QLineEdit>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "UiTestSupport.h"
#include "batch/views/BatchListModel.h"
#include "batch/views/BatchSummaryView.h"
#include "batch/views/DropZoneView.h"
#include "batch/views/SegmentedControl.h"
#include "naming/views/NamingView.h"
#include "platform/ImageServices.h"
#include "platform/PreferenceStore.h"
#include "platform/SharedOutputSettings.h"
#include "upscale/TestNetworks.h"
#include "upscale/UpscaleViewModel.h"
#include "upscale/views/BeforeAfterView.h"
#include "upscale/views/UpscaleFileListView.h"
#include "upscale/views/UpscalePreviewView.h"
#include "upscale/views/UpscaleSettingsBar.h"
#include "upscale/views/UpscaleView.h"

using namespace glintwork;

Q_DECLARE_METATYPE(glintwork::UpscaleStyle)
Q_DECLARE_METATYPE(glintwork::UpscaleOutputFormat)
Q_DECLARE_METATYPE(glintwork::ConversionStatus::Kind)

class UpscaleViewTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void animeForcesFourTimesUntilAnotherStyleIsChosen_data();
    void animeForcesFourTimesUntilAnotherStyleIsChosen();
    void convertColumnFollowsFormatAndScale_data();
    void convertColumnFollowsFormatAndScale();
    void statusCellReadsForScreenReaders_data();
    void statusCellReadsForScreenReaders();
    void previewAndDeleteInTheRowMenu();
    void namingShowsTheScaleHint();
    void smallImageIsUpscaledEndToEnd();

private:
    UpscaleView* makeView(int files);

    QTemporaryDir m_config;
    QTemporaryDir m_files;
    QTemporaryDir m_resources;
    QString m_networkMissing;
    std::unique_ptr<SharedOutputSettings> m_shared;
    std::vector<std::unique_ptr<UpscaleView>> m_views;
    int m_folderCounter = 0;

    QString freshFolder() { return m_files.filePath(QStringLiteral("set%1").arg(m_folderCounter++)); }
};

void UpscaleViewTest::initTestCase() {
    QVERIFY(m_config.isValid());
    test::isolatePreferences(m_config);
    m_shared = std::make_unique<SharedOutputSettings>();
    // Nearest-neighbour stand-ins for the networks, so every output pixel is known.
    const QString models = m_resources.filePath(QStringLiteral("models"));
    QVERIFY(QDir().mkpath(models));
    qputenv("GLINTWORK_RESOURCES", m_resources.path().toUtf8());
    if (!test::writeTestNetwork(test::TestNetwork::doubling2xAnySize,
                                models + QStringLiteral("/RealESRGAN_x2plus.onnx"), &m_networkMissing) ||
        !test::writeTestNetwork(test::TestNetwork::nearest4xAnySize,
                                models + QStringLiteral("/RealESRGAN_x4plus.onnx"), &m_networkMissing)) {
        if (m_networkMissing.isEmpty())
            m_networkMissing = QStringLiteral("the test network could not be written");
    }
}

void UpscaleViewTest::init() {
    m_views.clear();
    PreferenceStore store;
    for (const char* key : {"outputFormat", "style", "scale", "quality", "namingMode", "nameSuffix"})
        store.remove(preferenceKey(TabKind::upscale, key));
}

UpscaleView* UpscaleViewTest::makeView(int files) {
    auto view = std::make_unique<UpscaleView>(m_shared.get());
    if (files > 0)
        view->driver()->addFiles(test::writeImages(freshFolder(), files));
    view->show();
    m_views.push_back(std::move(view));
    return m_views.back().get();
}

void UpscaleViewTest::animeForcesFourTimesUntilAnotherStyleIsChosen_data() {
    QTest::addColumn<int>("scaleBefore");
    QTest::newRow("from 2x") << 2;
    QTest::newRow("from 4x") << 4;
}

void UpscaleViewTest::animeForcesFourTimesUntilAnotherStyleIsChosen() {
    QFETCH(int, scaleBefore);
    UpscaleView* view = makeView(1);
    UpscaleSettingsBar* bar = view->settingsBar();
    QTest::mouseClick(bar->scalePicker()->segment(scaleBefore == 2 ? 0 : 1), Qt::LeftButton);
    QCOMPARE(view->driver()->settings().scale, scaleBefore);
    QVERIFY(bar->scalePicker()->isEnabled());
    QVERIFY(bar->qualityPicker()->isEnabled());
    QVERIFY(!bar->animeCaption()->isVisible());

    QComboBox* style = bar->stylePicker();
    QCOMPARE(style->itemText(2), QStringLiteral("Anime / Illustration"));
    style->setFocus();
    QTest::keyClick(style, Qt::Key_End);
    QCOMPARE(view->driver()->settings().style, UpscaleStyle::anime);
    QCOMPARE(view->driver()->settings().scale, 4);
    QCOMPARE(bar->scalePicker()->currentIndex(), 1);
    QVERIFY(!bar->scalePicker()->isEnabled());
    QVERIFY(!bar->qualityPicker()->isEnabled());
    QVERIFY(bar->animeCaption()->isVisible());
    QCOMPARE(bar->animeCaption()->text(), QStringLiteral("Anime / illustration model upscales at 4x only."));

    QTest::keyClick(style, Qt::Key_Up);
    QCOMPARE(view->driver()->settings().style, UpscaleStyle::generalPhoto);
    QVERIFY(bar->scalePicker()->isEnabled());
    QVERIFY(bar->qualityPicker()->isEnabled());
    QTest::mouseClick(bar->qualityPicker()->segment(1), Qt::LeftButton);
    QCOMPARE(view->driver()->settings().quality, UpscaleQuality::fast);
    QCOMPARE(PreferenceStore().string(QStringLiteral("glintwork.upscale.quality"), {}), QStringLiteral("fast"));
    QCOMPARE(bar->scalePicker()->currentIndex(), 1);
    QCOMPARE(view->driver()->settings().scale, 4);
    QVERIFY(!bar->animeCaption()->isVisible());
    QCOMPARE(PreferenceStore().integer(QStringLiteral("glintwork.upscale.scale"), 0), 4);
}

void UpscaleViewTest::convertColumnFollowsFormatAndScale_data() {
    QTest::addColumn<UpscaleOutputFormat>("format");
    QTest::addColumn<UpscaleStyle>("style");
    QTest::addColumn<int>("storedScale");
    QTest::addColumn<QString>("storedQuality");
    QTest::addColumn<QString>("convert");
    QTest::newRow("2x PNG") << UpscaleOutputFormat::png << UpscaleStyle::automatic << 2 << "best"
                            << "PNG → 2x PNG";
    QTest::newRow("4x JPEG") << UpscaleOutputFormat::jpeg << UpscaleStyle::generalPhoto << 4 << "best"
                             << "PNG → 4x JPEG";
    QTest::newRow("2x fast") << UpscaleOutputFormat::png << UpscaleStyle::automatic << 2 << "fast"
                             << "PNG → 2x PNG (fast)";
    // A scale of 2 stored beside the anime style (edited preferences) still runs at 4x, and
    // the anime network has no fast version.
    QTest::newRow("anime with 2 and fast stored") << UpscaleOutputFormat::png << UpscaleStyle::anime << 2
                                                  << "fast" << "PNG → 4x PNG";
}

void UpscaleViewTest::convertColumnFollowsFormatAndScale() {
    QFETCH(UpscaleOutputFormat, format);
    QFETCH(UpscaleStyle, style);
    QFETCH(int, storedScale);
    QFETCH(QString, storedQuality);
    QFETCH(QString, convert);
    UpscaleView* view = makeView(2);
    // The second row finished earlier; its text follows the settings all the same.
    view->driver()->items().at(1)->setStatus(ConversionStatus::completed());
    const BatchListModel* model = view->fileList()->listModel();
    const int column = model->section(BatchListModel::Column::convert);
    const QString initial = model->index(1, column).data().toString();
    QCOMPARE(initial, QStringLiteral("PNG → 2x PNG"));

    PreferenceStore store;
    store.setString(preferenceKey(TabKind::upscale, "outputFormat"), rawValue(format));
    store.setString(preferenceKey(TabKind::upscale, "style"), rawValue(style));
    store.setInteger(preferenceKey(TabKind::upscale, "scale"), storedScale);
    store.setString(preferenceKey(TabKind::upscale, "quality"), storedQuality);
    QSignalSpy changed(model, &QAbstractItemModel::dataChanged);
    view->driver()->loadSettings();
    QVERIFY(convert == initial || !changed.isEmpty());
    for (int row = 0; row < 2; ++row)
        QCOMPARE(model->index(row, column).data().toString(), convert);
    QCOMPARE(view->settingsBar()->scalePicker()->currentIndex(), convert.contains(u'4') ? 1 : 0);
    QCOMPARE(view->settingsBar()->qualityPicker()->currentIndex(), storedQuality == u"fast" ? 1 : 0);
}

void UpscaleViewTest::statusCellReadsForScreenReaders_data() {
    QTest::addColumn<ConversionStatus::Kind>("kind");
    QTest::addColumn<double>("progress");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("value");
    using K = ConversionStatus::Kind;
    QTest::newRow("waiting") << K::waiting << 0.0 << "Waiting" << "Waiting" << "";
    QTest::newRow("started") << K::processing << 0.0 << "" << "Upscaling" << "0 percent";
    QTest::newRow("part way") << K::processing << 0.4379 << "" << "Upscaling" << "43 percent";
    QTest::newRow("last tile") << K::processing << 1.0 << "" << "Upscaling" << "100 percent";
    QTest::newRow("done") << K::completed << 1.0 << "" << "Done" << "";
    QTest::newRow("cancelled") << K::cancelled << 0.5 << "" << "Cancelled" << "";
    QTest::newRow("failed") << K::error << 0.0 << "" << "Error" << "disk full";
}

void UpscaleViewTest::statusCellReadsForScreenReaders() {
    QFETCH(ConversionStatus::Kind, kind);
    QFETCH(double, progress);
    QFETCH(QString, shown);
    QFETCH(QString, label);
    QFETCH(QString, value);
    UpscaleView* view = makeView(1);
    ImageItem* item = view->driver()->items().first().get();
    const BatchListModel* model = view->fileList()->listModel();
    const QModelIndex status = model->index(0, model->section(BatchListModel::Column::status));
    QSignalSpy changed(model, &QAbstractItemModel::dataChanged);
    switch (kind) {
    case ConversionStatus::Kind::waiting:
        break;
    case ConversionStatus::Kind::processing:
        item->setStatus(ConversionStatus::processing());
        break;
    case ConversionStatus::Kind::completed:
        item->setStatus(ConversionStatus::completed());
        break;
    case ConversionStatus::Kind::cancelled:
        item->setStatus(ConversionStatus::cancelled());
        break;
    case ConversionStatus::Kind::error:
        item->setStatus(ConversionStatus::error(value));
        break;
    }
    item->setProgress(progress);
    QVERIFY(kind == ConversionStatus::Kind::waiting || !changed.isEmpty());
    QCOMPARE(status.data().toString(), shown);
    QCOMPARE(status.data(Qt::AccessibleTextRole).toString(), label);
    QCOMPARE(status.data(Qt::AccessibleDescriptionRole).toString(), value);
    QCOMPARE(status.data(Qt::ToolTipRole).toString(), kind == ConversionStatus::Kind::error ? value : QString());
}

void UpscaleViewTest::previewAndDeleteInTheRowMenu() {
    UpscaleView* view = makeView(1);
    QVERIFY(view->isShowingList());
    QMenu* menu = view->fileList()->contextMenuForRow(0);
    QVERIFY(menu);
    QCOMPARE(menu->actions().size(), 2);
    QCOMPARE(menu->actions().at(0)->text(), QStringLiteral("Preview"));
    QCOMPARE(menu->actions().at(1)->text(), QStringLiteral("Delete"));
    menu->actions().at(0)->trigger();
    ImageItem* item = view->driver()->items().first().get();
    QCOMPARE(view->driver()->previewItem(), item);
    QVERIFY(view->previewSheet());
    QVERIFY(view->previewSheet()->isVisible());
    QCOMPARE(view->previewSheet()->item(), item);

    // Escape closes the sheet and the driver forgets the item.
    QTest::keyClick(view->previewSheet(), Qt::Key_Escape);
    QTRY_VERIFY(!view->previewSheet());
    QCOMPARE(view->driver()->previewItem(), nullptr);

    menu = view->fileList()->contextMenuForRow(0);
    menu->actions().at(1)->trigger();
    QVERIFY(view->driver()->items().isEmpty());
    QVERIFY(!view->isShowingList());
    QVERIFY(view->dropZone()->isVisible());
}

void UpscaleViewTest::namingShowsTheScaleHint() {
    UpscaleView* view = makeView(1);
    NamingView* naming = view->settingsBar()->namingView();
    QCOMPARE(naming->suffixField()->text(), QStringLiteral("-upscaled-{scale}x"));
    bool hintShown = false;
    for (const QLabel* label : naming->findChildren<QLabel*>()) {
        if (label->text() == u"Use {scale} to insert the upscale factor (e.g., -upscaled-4x)")
            hintShown = label->isVisible();
    }
    QVERIFY(hintShown);
}

void UpscaleViewTest::smallImageIsUpscaledEndToEnd() {
    if (!m_networkMissing.isEmpty())
        QSKIP(qPrintable(QStringLiteral("needs /usr/bin/python3 with onnx (Debian python3-onnx): ") +
                         m_networkMissing));
    const QString folder = freshFolder();
    QVERIFY(QDir().mkpath(folder));
    QImage source(24, 16, QImage::Format_RGB32);
    source.fill(QColor(200, 40, 40));
    for (int y = 0; y < 16; ++y)
        for (int x = 12; x < 24; ++x)
            source.setPixelColor(x, y, QColor(30, 60, 220));
    const QString input = folder + QStringLiteral("/cat.png");
    QVERIFY(source.save(input));

    UpscaleView* view = makeView(0);
    QApplication::setActiveWindow(view);
    QVERIFY(QTest::qWaitForWindowActive(view));
    QVERIFY(test::dropFiles(view->dropZone(), {QUrl::fromLocalFile(input)}));
    QVERIFY(view->isShowingList());
    QCOMPARE(view->startButton()->text(), QStringLiteral("Start Upscaling"));

    QSignalSpy finished(view->driver(), &UpscaleViewModel::runFinished);
    QTest::keyClick(view->fileList(), Qt::Key_Return);
    QVERIFY(finished.size() == 1 || view->driver()->isRunning());
    QVERIFY(finished.size() == 1 || finished.wait(60000));
    QCOMPARE(finished.first().first().toBool(), false);

    ImageItem* item = view->driver()->items().first().get();
    QCOMPARE(item->status(), ConversionStatus::completed());
    QVERIFY(item->outputURL());
    QCOMPARE(item->outputURL()->fileName(), QStringLiteral("cat-upscaled-2x.png"));
    const QImage upscaled(item->outputURL()->toLocalFile());
    QCOMPARE(upscaled.size(), QSize(48, 32));
    QCOMPARE(upscaled.pixelColor(2, 2), QColor(200, 40, 40));
    QCOMPARE(upscaled.pixelColor(45, 30), QColor(30, 60, 220));
    QVERIFY(view->summary()->isVisible());
    QCOMPARE(view->summary()->filesText(), QStringLiteral("1/1 files"));
    QVERIFY(view->openFolderButton()->isEnabled());

    // The finished file opens in the comparison.
    view->fileList()->contextMenuForRow(0)->actions().at(0)->trigger();
    UpscalePreviewView* sheet = view->previewSheet();
    QVERIFY(sheet);
    QSignalSpy loaded(sheet, &UpscalePreviewView::loaded);
    QVERIFY(!sheet->isLoading() || loaded.wait(30000));
    QVERIFY(sheet->beforeAfterView());
    QCOMPARE(sheet->beforeAfterView()->before().size(), QSize(24, 16));
    QCOMPARE(sheet->beforeAfterView()->after().size(), QSize(48, 32));
    QCOMPARE(sheet->dimensionText(), QStringLiteral("24 × 16 px (original)"));
}

QTEST_MAIN(UpscaleViewTest)
#include "test_upscale_view.moc"
