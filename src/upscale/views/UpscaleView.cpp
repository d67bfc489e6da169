#include "upscale/views/UpscaleView.h"

#include "batch/ToolDriver.h"
#include "batch/views/BatchSummaryView.h"
#include "upscale/UpscaleDriver.h"
#include "upscale/views/UpscaleFileListView.h"
#include "upscale/views/UpscalePreviewView.h"
#include "upscale/views/UpscaleSettingsBar.h"

namespace glintwork {

UpscaleView::UpscaleView(SharedOutputSettings* outputSettings, QWidget* parent)
    : BatchToolView(TabKind::upscale, parent), m_driver(new UpscaleDriver(this)) {
    m_driver->setSharedOutputSettings(outputSettings);
    // The stored settings are shown from the start, not only once the view appears.
    m_driver->loadSettings();
    ToolDriver* batch = m_driver;
    m_settingsBar = new UpscaleSettingsBar(m_driver, listPage());
    m_fileList = new UpscaleFileListView(batch, m_driver, listPage());
    m_summary = new BatchSummaryView(batch, tr("Upscaling..."), listPage());
    assemble(batch, m_settingsBar, m_fileList, m_summary, tr("Start Upscaling"));
    connect(m_driver, &UpscaleDriver::previewItemChanged, this, &UpscaleView::showPreview);
}

void UpscaleView::showPreview() {
    ImageItem* item = m_driver->previewItem();
    if (m_previewSheet && (!item || m_previewSheet->item() != item)) {
        m_previewSheet->disconnect(this);
        m_previewSheet->close();
    }
    if (!item || (m_previewSheet && m_previewSheet->item() == item))
        return;
    m_previewSheet = new UpscalePreviewView(item, this);
    m_previewSheet->setAttribute(Qt::WA_DeleteOnClose);
    connect(m_previewSheet, &QDialog::finished, this, [this] {
        if (m_driver)
            m_driver->setPreviewItem(nullptr);
    });
    m_previewSheet->open();
}

} // namespace glintwork
