#include "cutout/views/CutoutView.h"

#include "batch/ToolDriver.h"
#include "batch/views/BatchListModel.h"
#include "batch/views/BatchListView.h"
#include "batch/views/BatchSummaryView.h"
#include "cutout/CutoutDriver.h"
#include "cutout/views/CutoutSettingsBar.h"

namespace glintwork {

namespace {

BatchListModel::Layout cutoutLayout(CutoutDriver* driver) {
    using C = BatchListModel::Column;
    BatchListModel::Layout layout;
    layout.columns = {C::file, C::convert, C::size, C::status};
    const QPointer<CutoutDriver> guarded(driver);
    // Follows the format chosen now, also for files already cut out.
    layout.convertText = [guarded](const ImageItem& item) {
        if (!guarded)
            return QString();
        return item.inputFormat().toUpper() + QStringLiteral(" → ") +
               displayName(guarded->settings().outputFormat);
    };
    layout.processingText = CutoutView::tr("Processing");
    layout.secondaryConvertText = true;
    return layout;
}

} // namespace

CutoutView::CutoutView(SharedOutputSettings* outputSettings, QWidget* parent)
    : BatchToolView(TabKind::cutout, parent), m_driver(new CutoutDriver(this)) {
    m_driver->setSharedOutputSettings(outputSettings);
    // The stored settings are shown from the start, not only once the view appears.
    m_driver->loadSettings();
    ToolDriver* batch = m_driver;
    m_settingsBar = new CutoutSettingsBar(m_driver, listPage());
    m_fileList = new BatchListView(batch, new BatchListModel(batch, cutoutLayout(m_driver)),
                                   {110, 70, 110}, listPage());
    m_summary = new BatchSummaryView(batch, tr("Processing..."), listPage());
    assemble(batch, m_settingsBar, m_fileList, m_summary, tr("Start Processing"));
}

} // namespace glintwork
