#pragma once

#include <QPointer>
#include <QWidget>

class QCheckBox;
class QComboBox;
class QLabel;

namespace glintwork {

class CompactDropZoneView;
class CutoutDriver;
class NamingView;
class OutputFolderRow;
class SegmentedControl;

// The controls above the cutout list: mode, format, mask export, naming and output
// folder. Everything shown is read from the driver and every change goes to it.
class CutoutSettingsBar : public QWidget {
    Q_OBJECT

public:
    explicit CutoutSettingsBar(CutoutDriver* driver, QWidget* parent = nullptr);

    [[nodiscard]] CompactDropZoneView* compactDropZone() const { return m_dropZone; }
    [[nodiscard]] SegmentedControl* modePicker() const { return m_mode; }
    [[nodiscard]] QComboBox* formatPicker() const { return m_format; }
    [[nodiscard]] QCheckBox* exportMaskToggle() const { return m_exportMask; }
    [[nodiscard]] NamingView* namingView() const { return m_naming; }
    [[nodiscard]] OutputFolderRow* outputFolderRow() const { return m_outputFolder; }
    // Shown only when no segmentation network is installed.
    [[nodiscard]] QLabel* networkNotice() const { return m_networkNotice; }

private:
    void syncFromSettings();

    QPointer<CutoutDriver> m_driver;
    CompactDropZoneView* m_dropZone = nullptr;
    SegmentedControl* m_mode = nullptr;
    QComboBox* m_format = nullptr;
    QCheckBox* m_exportMask = nullptr;
    NamingView* m_naming = nullptr;
    OutputFolderRow* m_outputFolder = nullptr;
    QLabel* m_networkNotice = nullptr;
};

} // namespace glintwork
