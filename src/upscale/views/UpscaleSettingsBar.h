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
class UpscaleViewModel;

// The controls above the upscale list: format, style, scale and quality, naming and
// output folder. The anime network only enlarges 4x and has no fast version, so while
// that style is chosen the scale shows 4x and neither scale nor quality can be changed.
class UpscaleSettingsBar : public QWidget {
    Q_OBJECT

public:
    explicit UpscaleSettingsBar(UpscaleViewModel* driver, QWidget* parent = nullptr);

    [[nodiscard]] CompactDropZoneView* compactDropZone() const { return m_dropZone; }
    [[nodiscard]] QComboBox* formatPicker() const { return m_format; }
    [[nodiscard]] QComboBox* stylePicker() const { return m_style; }
    [[nodiscard]] SegmentedControl* scalePicker() const { return m_scale; }
    [[nodiscard]] SegmentedControl* qualityPicker() const { return m_quality; }
    [[nodiscard]] QLabel* animeCaption() const { return m_animeCaption; }
    [[nodiscard]] NamingView* namingView() const { return m_naming; }
    [[nodiscard]] OutputFolderRow* outputFolderRow() const { return m_outputFolder; }

private:
    void syncFromSettings();

    QPointer<UpscaleViewModel> m_driver;
    CompactDropZoneView* m_dropZone = nullptr;
    QComboBox* m_format = nullptr;
    QComboBox* m_style = nullptr;
    SegmentedControl* m_scale = nullptr;
    SegmentedControl* m_quality = nullptr;
    QLabel* m_animeCaption = nullptr;
    NamingView* m_naming = nullptr;
    OutputFolderRow* m_outputFolder = nullptr;
};

} // namespace glintwork
