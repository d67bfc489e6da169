#pragma once

#include <QPointer>
#include <QWidget>

class QComboBox;
class QLabel;

namespace glintwork {

class CompactDropZoneView;
class NamingView;
class OutputFolderRow;
class SegmentedControl;
class UpscaleDriver;

// The controls above the upscale list: format, style, scale and quality, naming and
// output folder. Where both qualities run the same network (anime at 2x) the quality
// picker is disabled and a caption says why.
class UpscaleSettingsBar : public QWidget {
    Q_OBJECT

public:
    explicit UpscaleSettingsBar(UpscaleDriver* driver, QWidget* parent = nullptr);

    [[nodiscard]] CompactDropZoneView* compactDropZone() const { return m_dropZone; }
    [[nodiscard]] QComboBox* formatPicker() const { return m_format; }
    [[nodiscard]] QComboBox* stylePicker() const { return m_style; }
    [[nodiscard]] SegmentedControl* scalePicker() const { return m_scale; }
    [[nodiscard]] SegmentedControl* qualityPicker() const { return m_quality; }
    [[nodiscard]] QLabel* qualityCaption() const { return m_qualityCaption; }
    [[nodiscard]] NamingView* namingView() const { return m_naming; }
    [[nodiscard]] OutputFolderRow* outputFolderRow() const { return m_outputFolder; }

private:
    void syncFromSettings();

    QPointer<UpscaleDriver> m_driver;
    CompactDropZoneView* m_dropZone = nullptr;
    QComboBox* m_format = nullptr;
    QComboBox* m_style = nullptr;
    SegmentedControl* m_scale = nullptr;
    SegmentedControl* m_quality = nullptr;
    QLabel* m_qualityCaption = nullptr;
    NamingView* m_naming = nullptr;
    OutputFolderRow* m_outputFolder = nullptr;
};

} // namespace glintwork
