#pragma once

#include <array>

#include <QPointer>
#include <QWidget>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;

namespace glintwork {

class CompactDropZoneView;
class CompressDriver;
class NamingView;
class OutputFolderRow;

// The controls above the compress list. Everything shown is read from the driver and
// every change goes to it; the bar keeps no settings of its own.
class CompressSettingsBar : public QWidget {
    Q_OBJECT

public:
    explicit CompressSettingsBar(CompressDriver* driver, QWidget* parent = nullptr);

    struct QualityPreset {
        const char* label;
        int quality;
    };
    static constexpr std::array<QualityPreset, 3> kQualityPresets{
        {{QT_TR_NOOP("Web Optimal"), 75}, {QT_TR_NOOP("Balance"), 80}, {QT_TR_NOOP("High Quality"), 90}}};

    [[nodiscard]] QComboBox* formatPicker() const { return m_format; }
    [[nodiscard]] QPushButton* presetButton(int index) const { return m_presets.at(static_cast<size_t>(index)); }
    [[nodiscard]] QSlider* qualitySlider() const { return m_quality; }
    [[nodiscard]] QLabel* qualityValue() const { return m_qualityValue; }
    [[nodiscard]] QCheckBox* resizeToggle() const { return m_resize; }
    [[nodiscard]] QLineEdit* maxWidthField() const { return m_maxWidth; }
    [[nodiscard]] QLineEdit* maxHeightField() const { return m_maxHeight; }
    [[nodiscard]] QWidget* resizeRow() const { return m_resizeRow; }
    [[nodiscard]] NamingView* namingView() const { return m_naming; }
    [[nodiscard]] OutputFolderRow* outputFolderRow() const { return m_outputFolder; }
    [[nodiscard]] CompactDropZoneView* compactDropZone() const { return m_dropZone; }

    // The numeric characters of what was typed as a limit; no limit when none remain or
    // the number does not fit.
    [[nodiscard]] static std::optional<int> parseLimit(const QString& typed, QString* digits);

private:
    void syncFromSettings();
    void limitEdited(QLineEdit* field, bool width);

    QPointer<CompressDriver> m_driver;
    CompactDropZoneView* m_dropZone = nullptr;
    QComboBox* m_format = nullptr;
    std::array<QPushButton*, 3> m_presets{};
    QSlider* m_quality = nullptr;
    QLabel* m_qualityValue = nullptr;
    QWidget* m_resizeRow = nullptr;
    QCheckBox* m_resize = nullptr;
    QLineEdit* m_maxWidth = nullptr;
    QLineEdit* m_maxHeight = nullptr;
    NamingView* m_naming = nullptr;
    OutputFolderRow* m_outputFolder = nullptr;
};

} // namespace glintwork
