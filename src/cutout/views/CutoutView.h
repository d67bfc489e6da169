#pragma once

#include "batch/views/BatchToolView.h"

namespace glintwork {

class BatchListView;
class BatchSummaryView;
class CutoutSettingsBar;
class CutoutDriver;
class SharedOutputSettings;

// The cutout tab: it owns the tab's driver, shows the large drop zone while the list is
// empty, and otherwise the settings, the list of files with their status, the summary
// and the action bar.
class CutoutView : public BatchToolView {
    Q_OBJECT

public:
    explicit CutoutView(SharedOutputSettings* outputSettings, QWidget* parent = nullptr);

    [[nodiscard]] CutoutDriver* driver() const { return m_driver; }
    [[nodiscard]] CutoutSettingsBar* settingsBar() const { return m_settingsBar; }
    [[nodiscard]] BatchListView* fileList() const { return m_fileList; }
    [[nodiscard]] BatchSummaryView* summary() const { return m_summary; }

private:
    CutoutDriver* m_driver = nullptr;
    CutoutSettingsBar* m_settingsBar = nullptr;
    BatchListView* m_fileList = nullptr;
    BatchSummaryView* m_summary = nullptr;
};

} // namespace glintwork
