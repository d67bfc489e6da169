#pragma once

#include "batch/views/BatchToolView.h"

namespace glintwork {

class CompressSettingsBar;
class CompressDriver;
class FileListView;
class SharedOutputSettings;
class SummaryView;

// The compress tab. It owns the tab's driver for as long as it lives, shows the large drop
// zone while the list is empty, and otherwise the settings, the list, the summary and the
// action bar.
class CompressView : public BatchToolView {
    Q_OBJECT

public:
    explicit CompressView(SharedOutputSettings* outputSettings, QWidget* parent = nullptr);

    [[nodiscard]] CompressDriver* driver() const { return m_driver; }
    [[nodiscard]] CompressSettingsBar* settingsBar() const { return m_settingsBar; }
    [[nodiscard]] FileListView* fileList() const { return m_fileList; }
    [[nodiscard]] SummaryView* summary() const { return m_summary; }

private:
    CompressDriver* m_driver = nullptr;
    CompressSettingsBar* m_settingsBar = nullptr;
    FileListView* m_fileList = nullptr;
    SummaryView* m_summary = nullptr;
};

} // namespace glintwork
