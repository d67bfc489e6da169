#include <algorithm>

#include <QAbstractItemModelTester>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>

#include "UiTestSupport.h"
#include "batch/FileService.h"
#include "batch/views/BatchListModel.h"
#include "batch/views/BatchSummaryView.h"
#include "batch/views/DropZoneView.h"
#include "compress/CompressDriver.h"
#include "compress/views/CompressSettingsBar.h"
#include "compress/views/CompressView.h"
#include "compress/views/FileListView.h"
#include "compress/views/SummaryView.h"
#include "cutout/CutoutDriver.h"
#include "cutout/views/CutoutSettingsBar.h"
#include "cutout/views/CutoutView.h"
#include "platform/ImageServices.h"
#include "platform/views/SegmentedControl.h"
#include "support/TestImages.h"
#include "support/TestSupport.h"
#include "upscale/TestNetworks.h"
#include "upscale/UpscaleDriver.h"
#include "upscale/views/BeforeAfterView.h"
#include "upscale/views/UpscaleFileListView.h"
#include "upscale/views/UpscaleSettingsBar.h"
#include "upscale/views/UpscaleView.h"

using namespace glintwork;

Q_DECLARE_METATYPE(glintwork::TabKind)

namespace {

// One tab's view through the parts the three tools share, running a stand-in that finishes
// "photo0.png" at once and holds every other file until it is released.
struct Tool {
    template <typename View>
    explicit Tool(std::unique_ptr<View> tab)
        : driver(tab->driver()), list(tab->fileList()), summary(tab->summary()),
          format(tab->settingsBar()->formatPicker()), view(std::move(tab)) {
        pipeline.finishAtOnce = {QStringLiteral("photo0.png")};
        attach = [target = static_cast<View*>(view.get())->driver()](
                     const test::ControlledPipeline& p) { p.attach(target); };
        attach(pipeline);
    }
    ~Tool() { pipeline.release->store(true); }

    // Hands the stand-in to the driver again, after a change to it.
    std::function<void(const test::ControlledPipeline&)> attach;

    ToolDriver* driver;
    BatchListView* list;
    BatchSummaryView* summary;
    QComboBox* format;
    std::unique_ptr<BatchToolView> view;
    test::ControlledPipeline pipeline;
};

QAction* rowAction(BatchListView* list, int row, const QString& text) {
    const QList<QAction*> actions = list->contextMenuForRow(row)->actions();
    return *std::ranges::find(actions, text, &QAction::text);
}

QString convertText(BatchListView* list, int row) {
    const BatchListModel* model = list->listModel();
    return model->index(row, model->section(BatchListModel::Column::convert)).data().toString();
}

struct StatusCase {
    const char* name;
    ConversionStatus status;
    const char* shown;
    const char* label;
    const char* value;
};

const StatusCase kStatusCases[] = {
    {"waiting", ConversionStatus::waiting(), "Waiting", "Waiting", ""},
    {"part way", ConversionStatus::processing(), "", "Upscaling", "43 percent"},
    {"done", ConversionStatus::completed(), "", "Done", ""},
    {"failed", ConversionStatus::error(QStringLiteral("disk full")), "", "Error", "disk full"},
};

const QColor kRed(220, 30, 30);
const QColor kBlue(30, 40, 220);

bool near(const QColor& a, const QColor& b) {
    return std::abs(a.red() - b.red()) < 40 && std::abs(a.green() - b.green()) < 40 &&
           std::abs(a.blue() - b.blue()) < 40;
}

// The kit's quadrants: red top left, blue bottom left.
QString writePhoto(const QString& path, int width, int height,
                   std::optional<int> orientation = {}) {
    const Image image = test::quadrants(width, height);
    WriteMetadata metadata;
    metadata.orientation = orientation;
    path.endsWith(QStringLiteral(".jpg")) ? ImageServices::writeJPEG(image, path, 0.95, metadata)
                                          : ImageServices::writePNG(image, path, metadata);
    return path;
}

} // namespace

// The three tool tabs: first what they share, over all three, then each tool's own settings,
// a real run of the upscaler and its preview sheet.
class ToolViewsTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_resources;
    QString m_networkMissing;
    std::optional<test::ScratchDir> m_dir; // a fresh one, with fresh preferences, per test
    std::unique_ptr<SharedOutputSettings> m_shared;

    template <typename View> std::unique_ptr<View> makeView(int files) {
        auto view = std::make_unique<View>(m_shared.get());
        if (files > 0)
            view->driver()->addFiles(test::writeImages(m_dir->path(), files));
        test::activate(view.get());
        return view;
    }

    Tool make(TabKind tab) {
        return tab == TabKind::compress ? Tool(makeView<CompressView>(0))
               : tab == TabKind::cutout ? Tool(makeView<CutoutView>(0))
                                        : Tool(makeView<UpscaleView>(0));
    }

private Q_SLOTS:
    void initTestCase() {
        // A small stand-in for the 2x network and no segmentation network, the same everywhere.
        const QString models = m_resources.filePath(QStringLiteral("models"));
        QVERIFY(QDir().mkpath(models));
        qputenv("GLINTWORK_RESOURCES", m_resources.path().toUtf8());
        if (!test::writeTestNetwork(test::TestNetwork::doubling2xAnySize,
                                    models + QStringLiteral("/RealESRGAN_x2plus.onnx"),
                                    &m_networkMissing))
            m_networkMissing.append(QStringLiteral(" (no test network)"));
    }

    void init() {
        m_dir.emplace();
        m_shared = std::make_unique<SharedOutputSettings>();
    }

    void dropsFillTheListThatFollowsTheFormat_data() {
        QTest::addColumn<TabKind>("tab");
        QTest::addColumn<QStringList>("convert"); // before and after the next format is chosen
        QTest::newRow("compress") << TabKind::compress << QStringList{"PNG → WebP", "PNG → JPEG"};
        QTest::newRow("cutout") << TabKind::cutout << QStringList{"PNG → PNG", "PNG → TIFF"};
        QTest::newRow("upscale") << TabKind::upscale
                                 << QStringList{"PNG → 2x PNG", "PNG → 2x JPEG"};
    }
    void dropsFillTheListThatFollowsTheFormat() {
        QFETCH(TabKind, tab);
        QFETCH(QStringList, convert);
        Tool tool = make(tab);
        // A drag of a web link, not a file, is refused.
        QVERIFY(!test::dropFiles(tool.view->dropZone(),
                                 {QUrl(QStringLiteral("https://example.org/a.png"))}));

        // A drop of several files arrives as one delivery per file; what could not be added
        // is named in one message.
        const QString folder = m_dir->filePath(QStringLiteral("drop"));
        const QString missing[] = {folder + QStringLiteral("/a.png"),
                                   folder + QStringLiteral("/b.png")};
        for (const QString& path : missing)
            tool.driver->addFiles({QUrl::fromLocalFile(path)});
        QTRY_COMPARE(tool.view->findChildren<QMessageBox*>().size(), 1);
        const QMessageBox* box = tool.view->findChildren<QMessageBox*>().first();
        QTRY_VERIFY(box->isVisible());
        QVERIFY(box->informativeText().contains(missing[0]) &&
                box->informativeText().contains(missing[1]));

        // A dropped folder brings its images.
        test::writeImages(folder, 3);
        QVERIFY(test::dropFiles(tool.view->dropZone(), {QUrl::fromLocalFile(folder)}));
        QVERIFY(tool.view->isShowingList() && !tool.view->dropZone()->isTargeted());
        QCOMPARE(tool.list->listModel()->rowCount(), 3);

        // The convert column follows the chosen format, on a row finished earlier too.
        tool.driver->items().at(1)->setStatus(ConversionStatus::completed());
        QCOMPARE(convertText(tool.list, 1), convert[0]);
        tool.format->setFocus();
        QTest::keyClick(tool.format, Qt::Key_Down);
        QCOMPARE(convertText(tool.list, 0), convert[1]);
        QCOMPARE(convertText(tool.list, 1), convert[1]);

        // Files dropped on the list itself join it.
        const QList<QUrl> more = test::writeImages(m_dir->filePath(QStringLiteral("more")), 1);
        QVERIFY(test::dropFiles(tool.list->viewport(), more));
        QCOMPARE(tool.list->listModel()->rowCount(), 4);

        // Deleting a row from its menu removes that item; the last one brings the drop zone
        // back.
        const QUrl second = tool.driver->items().at(1)->url();
        rowAction(tool.list, 1, QStringLiteral("Delete"))->trigger();
        QCOMPARE(tool.list->listModel()->rowCount(), 3);
        for (const auto& item : tool.driver->items())
            QVERIFY(item->url() != second);
        for (int remaining = 3; remaining > 0; --remaining)
            rowAction(tool.list, 0, QStringLiteral("Delete"))->trigger();
        QVERIFY(!tool.view->isShowingList() && tool.view->dropZone()->isVisible());
    }

    void returnStartsEscapeCancelsAndTheSummaryFollows_data() {
        dropsFillTheListThatFollowsTheFormat_data();
    }
    void returnStartsEscapeCancelsAndTheSummaryFollows() {
        QFETCH(TabKind, tab);
        Tool tool = make(tab);
        // With nothing listed, Return starts nothing.
        QTest::keyClick(tool.view.get(), Qt::Key_Return);
        QVERIFY(!tool.driver->isRunning());

        tool.driver->setConcurrencyLimit(1);
        tool.driver->addFiles(test::writeImages(m_dir->path(), 3));
        QVERIFY(!tool.view->cancelButton()->isVisible() && !tool.summary->isVisible());
        QVERIFY(!tool.view->openFolderButton()->isEnabled());

        // Return in a text field confirms the typing; it starts nothing.
        if (auto* compress = qobject_cast<CompressView*>(tool.view.get())) {
            QWidget* resize = compress->settingsBar()->resizeToggle();
            QTest::mouseClick(resize, Qt::LeftButton, {}, QPoint(4, resize->height() / 2));
        }
        const auto fields = tool.view->findChildren<QLineEdit*>();
        const auto field = std::ranges::find_if(
            fields, [](QLineEdit* f) { return f->isVisible() && f->isEnabled(); });
        QVERIFY(field != fields.end());
        (*field)->setFocus();
        QTest::keyClick(*field, Qt::Key_Return);
        QVERIFY(!tool.driver->isRunning());
        tool.list->setFocus();

        QSignalSpy running(tool.driver, &ToolDriver::isRunningChanged);
        QTest::keyClick(tool.list, Qt::Key_Return);
        QVERIFY(!tool.view->startButton()->isVisible());
        // The settings hold still while the run uses them.
        QVERIFY(!tool.format->isEnabled());
        QVERIFY(tool.view->cancelButton()->isVisible() && tool.view->cancelButton()->isEnabled());
        QVERIFY(!tool.view->clearButton()->isEnabled());
        // Return again while the run goes on starts nothing more.
        QTest::keyClick(tool.list, Qt::Key_Return);
        QCOMPARE(running.size(), 1);

        // The summary comes with the first finished file.
        QTRY_COMPARE(tool.summary->filesText(), QStringLiteral("1/3 files"));
        QVERIFY(tool.summary->isVisible() && tool.summary->isShowingBusyNote());
        QVERIFY(tool.view->openFolderButton()->isEnabled());
        // The stand-in writes half of each file: Compress's saving so far is the one done's.
        if (auto* totals = qobject_cast<SummaryView*>(tool.summary)) {
            const ImageItem* done = tool.driver->items().first().get();
            QCOMPARE(totals->totalsText(), FileService::formatByteCount(done->originalSize()) +
                                               QStringLiteral(" → ") +
                                               FileService::formatByteCount(*done->compressedSize()));
            QVERIFY(!totals->savingText().isEmpty());
        }

        QSignalSpy finished(tool.driver, &ToolDriver::runFinished);
        QTest::keyClick(tool.list, Qt::Key_Escape);
        QCOMPARE(tool.view->cancelButton()->text(), QStringLiteral("Cancelling…"));
        QVERIFY(!tool.view->cancelButton()->isEnabled());
        QVERIFY(finished.wait(30000));
        QVERIFY(tool.view->startButton()->isVisible() && tool.summary->isVisible());
        QVERIFY(tool.view->clearButton()->isEnabled() && tool.format->isEnabled());
        QCOMPARE(tool.summary->filesText(), QStringLiteral("1/3 files"));
        QCOMPARE(tool.summary->problemsText(), QStringLiteral("2 cancelled"));

        // Started again, the cancelled files are done too.
        tool.pipeline.release->store(true);
        QTest::keyClick(tool.list, Qt::Key_Return);
        QVERIFY(finished.wait(30000));
        QCOMPARE(tool.summary->filesText(), QStringLiteral("3/3 files"));
        QVERIFY(!tool.summary->isShowingBusyNote());
        // Only Compress converts finished files again, and sets the output's size against the
        // input's; for the others everything is done.
        QCOMPARE(tool.view->startButton()->isEnabled(), tab == TabKind::compress);
        QCOMPARE(tool.view->startButton()->text() == QStringLiteral("Run All Again"),
                 tab == TabKind::compress);
        QCOMPARE(tool.view->doneHint()->isVisible(), tab != TabKind::compress);
        QVERIFY(tool.summary->problemsText().isEmpty());
        const QModelIndex first = tool.list->listModel()->index(0, 0);
        QCOMPARE(first.data(BatchListModel::CompressedSizeRole).isValid(),
                 tab == TabKind::compress);
        tool.view->clearButton()->click();
        QVERIFY(!tool.view->isShowingList());
    }

    void aFailedRowSaysWhyAndOpensItsDetails_data() { dropsFillTheListThatFollowsTheFormat_data(); }
    void aFailedRowSaysWhyAndOpensItsDetails() {
        QFETCH(TabKind, tab);
        Tool tool = make(tab);
        tool.pipeline.failAtOnce = {QStringLiteral("photo1.png")};
        tool.attach(tool.pipeline);
        tool.driver->addFiles(test::writeImages(m_dir->path(), 2));
        QSignalSpy finished(tool.driver, &ToolDriver::runFinished);
        tool.view->startButton()->click();
        QVERIFY(finished.wait(30000));
        QCOMPARE(tool.summary->problemsText(), QStringLiteral("1 failed"));

        // The row gives the reason's first part; the whole text is one double-click or
        // Return away.
        const QModelIndex name = tool.list->listModel()->index(1, 0);
        QCOMPARE(name.data(BatchListModel::ShortReasonRole).toString(),
                 QStringLiteral("The encoder could not read this file"));
        QCOMPARE(
            tool.list->listModel()->index(0, 0).data(BatchListModel::ShortReasonRole).toString(),
            QString());
        tool.list->setFocus();
        tool.list->selectRow(1);
        QTest::keyClick(tool.list, Qt::Key_Return);
        QVERIFY(!tool.driver->isRunning());
        auto* details = qobject_cast<QMessageBox*>(tool.list->detailsAlert());
        QVERIFY(details && details->isVisible());
        QCOMPARE(details->informativeText(), QString::fromUtf8(test::kControlledFailure));
        details->close();
        QTRY_VERIFY(!tool.list->detailsAlert());

        QSignalSpy doubleClicked(tool.list, &QAbstractItemView::doubleClicked);
        const auto doubleClick = [&](int row) {
            const QPoint at = tool.list->visualRect(tool.list->listModel()->index(row, 0)).center();
            QTest::mouseClick(tool.list->viewport(), Qt::LeftButton, {}, at);
            QTest::mouseDClick(tool.list->viewport(), Qt::LeftButton, {}, at);
            QTest::qWait(QApplication::doubleClickInterval() + 50);
        };
        doubleClick(0);
        QVERIFY(!tool.list->detailsAlert()); // nothing to tell about a file done
        doubleClick(1);
        QCOMPARE(doubleClicked.size(), 2);
        QVERIFY(tool.list->detailsAlert());
    }

    void aRunShowsEachFilesProgressAndTheTimeLeft() {
        const Tool tool = make(TabKind::upscale);
        auto* view = static_cast<UpscaleView*>(tool.view.get());
        view->driver()->addFiles(test::writeImages(m_dir->path(), 3));
        view->driver()->setConcurrencyLimit(2);
        view->driver()->start();
        const BatchListModel* model = view->fileList()->listModel();
        const int status = model->section(BatchListModel::Column::status);
        // A file in work reads its share done; the estimate comes once there is one.
        QTRY_COMPARE(model->index(1, status).data(Qt::AccessibleDescriptionRole).toString(),
                     QStringLiteral("25 percent"));
        QTRY_VERIFY(!view->summary()->timeLeftText().isEmpty());
        QCOMPARE(view->summary()->filesText(), QStringLiteral("1/3 files"));

        // A finished row gives the sizes in pixels, before and after.
        const int size = model->section(BatchListModel::Column::size);
        const ImageItem* waiting = view->driver()->items()[2].get();
        QCOMPARE(model->index(2, size).data().toString(),
                 QStringLiteral("%1 × %2").arg(waiting->pixelWidth()).arg(waiting->pixelHeight()));
        ImageItem* first = view->driver()->items().first().get();
        first->setOutputURL(
            QUrl::fromLocalFile(writePhoto(m_dir->filePath(QStringLiteral("big.png")),
                                           4 * first->pixelWidth(), 4 * first->pixelHeight())));
        QCOMPARE(model->index(0, size).data().toString(), QStringLiteral("%1 × %2 → %3 × %4")
                                                              .arg(first->pixelWidth())
                                                              .arg(first->pixelHeight())
                                                              .arg(4 * first->pixelWidth())
                                                              .arg(4 * first->pixelHeight()));
        view->driver()->cancel();
        QTRY_VERIFY(!view->driver()->isRunning());
        QVERIFY(view->summary()->timeLeftText().isEmpty());
    }

    void theTimeLeftReadsInWholeUnits_data() {
        QTest::addColumn<double>("seconds");
        QTest::addColumn<QString>("text");
        QTest::newRow("moments") << 12.0 << "Less than a minute left";
        QTest::newRow("minutes") << 299.0 << "About 5 min left";
        QTest::newRow("hours") << 7300.0 << "About 2 h left";
    }
    void theTimeLeftReadsInWholeUnits() {
        QFETCH(double, seconds);
        QFETCH(QString, text);
        QCOMPARE(BatchSummaryView::timeLeftText(seconds), text);
    }

    // Adding, removing and changing items reach the views as rows inserted and removed and as
    // the changed row's own cells, never as a reset of the whole list.
    void theListSignalsOnlyTheRowsThatChange() {
        using Column = BatchListModel::Column;
        CompressDriver driver;
        BatchListModel::Layout layout;
        layout.columns = {Column::file, Column::size, Column::ratio, Column::status};
        BatchListModel model(&driver, layout);
        QAbstractItemModelTester tester(&model,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
        QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
        QSignalSpy removed(&model, &QAbstractItemModel::rowsRemoved);
        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
        // The rows and columns each change touched, as "row:firstColumn-lastColumn".
        const auto touched = [&] {
            QStringList cells;
            for (const QList<QVariant>& signal : std::as_const(changed)) {
                const auto from = signal.at(0).toModelIndex(), to = signal.at(1).toModelIndex();
                for (int row = from.row(); row <= to.row(); ++row)
                    cells.append(
                        QStringLiteral("%1:%2-%3").arg(row).arg(from.column()).arg(to.column()));
            }
            changed.clear();
            return cells;
        };

        driver.addFiles(test::writeImages(m_dir->path(), 3));
        driver.addFiles(test::writeImages(m_dir->path() + QStringLiteral("/more"), 1));
        QCOMPARE(inserted.count(), 2);
        QCOMPARE(inserted.at(0).at(2).toInt(), 2); // rows 0 to 2, then row 3
        QCOMPARE(inserted.at(1).at(1).toInt(), 3);
        QCOMPARE(model.rowCount(), 4);
        const std::shared_ptr<ImageItem> first = driver.items().at(0),
                                         second = driver.items().at(1);

        second->setProgress(0.5);
        QCOMPARE(touched(), QStringList{QStringLiteral("1:3-3")});
        driver.items().at(2)->setCompressedSize(10);
        QCOMPARE(touched(), (QStringList{QStringLiteral("2:1-1"), QStringLiteral("2:2-2")}));
        second->setStatus(ConversionStatus::error(QStringLiteral("broken")));
        QCOMPARE(touched(), QStringList{QStringLiteral("1:0-3")});

        driver.removeItem(first.get());
        QCOMPARE(removed.count(), 1);
        QCOMPARE(removed.at(0).at(1).toInt(), 0);
        QCOMPARE(model.itemAt(0), second.get());
        second->setProgress(0.75);
        QCOMPARE(touched(), QStringList{QStringLiteral("0:3-3")});
        first->setStatus(ConversionStatus::completed());
        QCOMPARE(touched(), QStringList()); // an item no longer listed

        driver.clearItems();
        QCOMPARE(removed.count(), 2);
        QCOMPARE(removed.at(1).at(2).toInt(), 2);
        QCOMPARE(model.rowCount(), 0);
        QCOMPARE(reset.count(), 0);
    }

    void compressPresetsFollowTheSliderAndSizeFieldsTakeDigits() {
        auto view = makeView<CompressView>(1);
        CompressSettingsBar* bar = view->settingsBar();
        QVERIFY(bar->presetButton(1)->isChecked());
        bar->qualitySlider()->setFocus();
        QTest::keyClick(bar->qualitySlider(), Qt::Key_Right);
        QCOMPARE(view->driver()->settings().quality, 81);
        QCOMPARE(bar->qualityValue()->text(), QStringLiteral("81"));
        for (int i = 0; i < 3; ++i)
            QVERIFY(!bar->presetButton(i)->isChecked());

        QTest::mouseClick(bar->presetButton(2), Qt::LeftButton);
        QCOMPARE(bar->qualitySlider()->value(), 90);
        QVERIFY(bar->presetButton(2)->isChecked());
        // Clicking the preset already in use keeps it highlighted.
        QTest::mouseClick(bar->presetButton(2), Qt::LeftButton);
        QVERIFY(bar->presetButton(2)->isChecked());

        // The size fields take digits only.
        QLineEdit* width = bar->maxWidthField();
        QVERIFY(!width->isEnabled());
        QTest::mouseClick(bar->resizeToggle(), Qt::LeftButton, {},
                          QPoint(4, bar->resizeToggle()->height() / 2));
        QVERIFY(width->isEnabled());
        // Turning resize on took the largest image's size (40 x 30).
        QCOMPARE(width->text(), QStringLiteral("40"));
        QCOMPARE(bar->maxHeightField()->text(), QStringLiteral("30"));

        width->setFocus();
        width->selectAll();
        QTest::keyClicks(width, QStringLiteral("12a34"));
        QCOMPARE(width->text(), QStringLiteral("1234"));
        QCOMPARE(view->driver()->settings().maxWidth, std::optional<int>(1234));
        width->selectAll();
        QTest::keyClick(width, Qt::Key_Backspace);
        QCOMPARE(view->driver()->settings().maxWidth, std::nullopt);
        // A number too large for a limit is no limit.
        QTest::keyClicks(width, QStringLiteral("99999999999"));
        QCOMPARE(view->driver()->settings().maxWidth, std::nullopt);
    }

    void cutoutSettingsAreStoredAndTheNoticeFollowsTheNetwork() {
        auto view = makeView<CutoutView>(1);
        CutoutSettingsBar* bar = view->settingsBar();
        // Without a segmentation network the tab says what that means, until one is there.
        QVERIFY(bar->networkNotice() && bar->networkNotice()->isVisible());
        QVERIFY(bar->networkNotice()->text().contains(QStringLiteral("scripts/setup-models")));
        const QString network =
            m_resources.filePath(QStringLiteral("models/subject-segmentation.onnx"));
        QVERIFY(QFile(network).open(QIODevice::WriteOnly));
        QVERIFY(!CutoutSettingsBar(view->driver()).networkNotice());
        QVERIFY(QFile::remove(network));

        QTest::mouseClick(bar->modePicker()->segment(0), Qt::LeftButton);
        QTest::mouseClick(bar->exportMaskToggle(), Qt::LeftButton, {},
                          QPoint(4, bar->exportMaskToggle()->height() / 2));
        // A second view of the tab comes up with what was chosen.
        auto again = makeView<CutoutView>(1);
        QCOMPARE(again->settingsBar()->modePicker()->currentIndex(), 0);
        QVERIFY(again->settingsBar()->exportMaskToggle()->isChecked());
    }

    void upscaleAnimeOffersBothScalesAndQualityAtFourTimes() {
        auto view = makeView<UpscaleView>(1);
        UpscaleSettingsBar* bar = view->settingsBar();
        QTest::mouseClick(bar->qualityPicker()->segment(1), Qt::LeftButton);
        QCOMPARE(convertText(view->fileList(), 0), QStringLiteral("PNG → 2x PNG (fast)"));
        QVERIFY(!bar->qualityCaption()->isVisible());

        // Anime keeps 2x, where its one 2x network runs whatever the quality.
        QComboBox* style = bar->stylePicker();
        style->setFocus();
        QTest::keyClick(style, Qt::Key_End);
        QCOMPARE(convertText(view->fileList(), 0), QStringLiteral("PNG → 2x PNG"));
        QVERIFY(bar->scalePicker()->isEnabled() && !bar->qualityPicker()->isEnabled());
        QVERIFY(bar->qualityCaption()->isVisible());

        // At 4x the quality picks the network again.
        QTest::mouseClick(bar->scalePicker()->segment(1), Qt::LeftButton);
        QCOMPARE(convertText(view->fileList(), 0), QStringLiteral("PNG → 4x PNG (fast)"));
        QVERIFY(bar->qualityPicker()->isEnabled() && !bar->qualityCaption()->isVisible());
        QTest::mouseClick(bar->qualityPicker()->segment(0), Qt::LeftButton);
        QCOMPARE(convertText(view->fileList(), 0), QStringLiteral("PNG → 4x PNG"));
    }

    void upscaleStatusCellReadsForScreenReaders_data() { test::addRows(kStatusCases); }
    void upscaleStatusCellReadsForScreenReaders() {
        QFETCH(int, row);
        const StatusCase& c = kStatusCases[row];
        auto view = makeView<UpscaleView>(1);
        ImageItem* item = view->driver()->items().first().get();
        const BatchListModel* model = view->fileList()->listModel();
        const QModelIndex status = model->index(0, model->section(BatchListModel::Column::status));
        item->setStatus(c.status);
        item->setProgress(0.4379); // read only while the file is in work
        const QString value = QString::fromUtf8(c.value);
        QCOMPARE(status.data().toString(), QString::fromUtf8(c.shown));
        QCOMPARE(status.data(Qt::AccessibleTextRole).toString(), QString::fromUtf8(c.label));
        QCOMPARE(status.data(Qt::AccessibleDescriptionRole).toString(), value);
        // A failure's reason is also the cell's tooltip, which wraps.
        const bool failed = c.status.is(ConversionStatus::Kind::error);
        QCOMPARE(status.data(Qt::ToolTipRole).toString(),
                 failed ? QStringLiteral("<p>%1</p>").arg(value) : QString());
    }

    void upscaleSmallImageEndToEndThenPreviewed() {
        if (!m_networkMissing.isEmpty())
            QSKIP(qPrintable(QStringLiteral("needs Debian's python3-onnx: ") + m_networkMissing));
        const QString input = writePhoto(m_dir->filePath(QStringLiteral("cat.png")), 24, 16);
        auto view = makeView<UpscaleView>(0);
        QVERIFY(test::dropFiles(view->dropZone(), {QUrl::fromLocalFile(input)}));
        QSignalSpy finished(view->driver(), &UpscaleDriver::runFinished);
        QTest::keyClick(view->fileList(), Qt::Key_Return);
        QVERIFY(finished.size() == 1 || finished.wait(60000));
        QCOMPARE(finished.first().first().toBool(), false);

        ImageItem* item = view->driver()->items().first().get();
        QCOMPARE(item->outputURL().value_or(QUrl()).fileName(),
                 QStringLiteral("cat-upscaled-2x.png"));
        QCOMPARE(QImage(item->outputURL()->toLocalFile()).size(), QSize(48, 32));

        // The row's menu opens the finished file in the comparison; Escape closes it and the
        // driver forgets the item.
        rowAction(view->fileList(), 0, QStringLiteral("Preview"))->trigger();
        UpscalePreviewView* sheet = view->previewSheet();
        QVERIFY(sheet && sheet->isVisible());
        QCOMPARE(view->driver()->previewItem(), item);
        QTest::keyClick(sheet, Qt::Key_Escape);
        QTRY_VERIFY(!view->previewSheet());
        QCOMPARE(view->driver()->previewItem(), nullptr);
    }

    void previewDividerIsClampedToTheView_data() {
        QTest::addColumn<QList<int>>("xs");
        QTest::addColumn<double>("expected");
        QTest::newRow("past the edge") << QList<int>{200, 40, -60} << 0.0;
        QTest::newRow("a quarter in") << QList<int>{300, 100} << 0.25;
    }
    void previewDividerIsClampedToTheView() {
        QFETCH(QList<int>, xs);
        QFETCH(double, expected);
        QImage before(40, 40, QImage::Format_RGB32), after(160, 160, QImage::Format_RGB32);
        before.fill(kRed);
        after.fill(kBlue);
        BeforeAfterView view(before, after);
        view.resize(400, 400);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QTest::mousePress(&view, Qt::LeftButton, {}, QPoint(xs.first(), 100));
        for (int x : xs)
            QTest::mouseMove(&view, QPoint(x, 100));
        QTest::mouseRelease(&view, Qt::LeftButton, {}, QPoint(xs.last(), 100));
        QCOMPARE(view.sliderX(), expected);

        // The source fills what lies left of the divider, the result the rest; both are
        // fitted to the same square.
        const QImage shown = view.grab().toImage();
        for (int x : {20, 120, 280, 380})
            QVERIFY2(near(shown.pixelColor(x, 60), x < expected * 400 ? kRed : kBlue),
                     qPrintable(QString::number(x)));
    }

    void previewShowsTheSourceUprightBesideAResultIfThereIsOne_data() {
        QTest::addColumn<int>("output"); // 0: not upscaled yet, 1: deleted since, 2: there
        QTest::newRow("turned, beside its result") << 2;
        QTest::newRow("not upscaled yet") << 0;
        QTest::newRow("output deleted since") << 1;
    }
    void previewShowsTheSourceUprightBesideAResultIfThereIsOne() {
        QFETCH(int, output);
        // Stored 60 × 40 with orientation 6: shown turned a quarter clockwise, 40 × 60, with
        // the stored bottom left (blue) on top to the left of the stored top left (red).
        const bool turned = output == 2;
        const QString source = writePhoto(m_dir->filePath(QStringLiteral("photo.jpg")), 60, 40,
                                          turned ? std::optional(6) : std::nullopt);
        ImageItem item(QUrl::fromLocalFile(source));
        // The upscaled file carries no orientation, so it stays as stored.
        if (output > 0)
            item.setOutputURL(QUrl::fromLocalFile(
                output == 1 ? source + QStringLiteral(".gone.png")
                            : writePhoto(source + QStringLiteral(".out.png"), 240, 160)));
        UpscalePreviewView sheet(&item);
        QSignalSpy loaded(&sheet, &UpscalePreviewView::loaded);
        sheet.show();
        QVERIFY(!sheet.isLoading() || loaded.wait(30000));
        if (!turned) {
            QCOMPARE(sheet.dimensionText(), output ? QStringLiteral("60 × 40 px (original)")
                                                   : QStringLiteral("60 × 40 px"));
            QVERIFY(!sheet.beforeAfterView() && sheet.inputPreview()->isVisible());
            return;
        }
        QVERIFY(sheet.beforeAfterView());
        const QImage before = sheet.beforeAfterView()->before();
        QCOMPARE(before.size(), QSize(40, 60));
        QVERIFY(near(before.pixelColor(30, 5), kRed) && near(before.pixelColor(10, 5), kBlue));
        const QImage after = sheet.beforeAfterView()->after();
        QCOMPARE(after.size(), QSize(240, 160));
        QVERIFY(near(after.pixelColor(5, 5), kRed) && near(after.pixelColor(5, 155), kBlue));
    }
};

QTEST_MAIN(ToolViewsTest)
#include "test_tool_views.moc"
