#pragma once

#include <QPointer>

#include "batch/views/BatchToolView.h"
#include "upscale/views/UpscalePreviewView.h"

namespace glintwork {

class BatchSummaryView;
class SharedOutputSettings;
class UpscaleFileListView;
class UpscaleSettingsBar;
class UpscaleDriver;

// The upscale tab: it owns the tab's driver, shows the large drop zone while the list is
// empty, and otherwise the settings, the list with each file's progress, the summary and
// the action bar. While the driver names an item to preview, the before/after sheet shows
// it; closing the sheet clears that item again.
class UpscaleView : public BatchToolView {
    Q_OBJECT

public:
    explicit UpscaleView(SharedOutputSettings* outputSettings, QWidget* parent = nullptr);

    [[nodiscard]] UpscaleDriver* driver() const { return m_driver; }
    [[nodiscard]] UpscaleSettingsBar* settingsBar() const { return m_settingsBar; }
    [[nodiscard]] UpscaleFileListView* fileList() const { return m_fileList; }
    [[nodiscard]] BatchSummaryView* summary() const { return m_summary; }
    // The preview sheet while it is shown.
    [[nodiscard]] UpscalePreviewView* previewSheet() const { return m_previewSheet; }

private:
    void showPreview();

    UpscaleDriver* m_driver = nullptr;
    UpscaleSettingsBar* m_settingsBar = nullptr;
    UpscaleFileListView* m_fileList = nullptr;
    BatchSummaryView* m_summary = nullptr;
    QPointer<UpscalePreviewView> m_previewSheet;
};

} // namespace glintwork
