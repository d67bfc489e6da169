#include "compress/views/CompressView.h"

#include "batch/ToolDriver.h"
#include "compress/CompressDriver.h"
#include "compress/views/CompressSettingsBar.h"
#include "compress/views/FileListView.h"
#include "compress/views/SummaryView.h"

namespace glintwork {

CompressView::CompressView(SharedOutputSettings* outputSettings, QWidget* parent)
    : BatchToolView(TabKind::compress, parent), m_driver(new CompressDriver(this)) {
    m_driver->setSharedOutputSettings(outputSettings);
    // The stored settings are shown from the start, not only once the view appears.
    m_driver->loadSettings();
    ToolDriver* batch = m_driver;
    m_settingsBar = new CompressSettingsBar(m_driver, listPage());
    m_fileList = new FileListView(batch, m_driver, listPage());
    m_summary = new SummaryView(batch, m_driver, listPage());
    assemble(batch, m_settingsBar, m_fileList, m_summary, tr("Start Conversion"));
}

} // namespace glintwork
