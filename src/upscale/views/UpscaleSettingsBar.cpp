#include "upscale/views/UpscaleSettingsBar.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "batch/views/DropZoneView.h"
#include "batch/views/OutputFolderRow.h"
#include "platform/views/SegmentedControl.h"
#include "platform/views/ViewParts.h"
#include "naming/views/NamingView.h"
#include "upscale/UpscaleDriver.h"

namespace glintwork {

UpscaleSettingsBar::UpscaleSettingsBar(UpscaleDriver* driver, QWidget* parent)
    : QWidget(parent), m_driver(driver) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 12, 16, 12);
    layout->setSpacing(12);

    m_dropZone = new CompactDropZoneView(TabKind::upscale, this);
    connect(m_dropZone, &CompactDropZoneView::filesAdded, driver, &UpscaleDriver::addFilesInBackground);
    layout->addWidget(m_dropZone);

    // The caption sits right under the row it explains.
    auto* pickers = new QVBoxLayout;
    pickers->setSpacing(4);
    auto* row = new QHBoxLayout;
    row->setSpacing(6);
    m_format = menuPicker(displayNames(kAllUpscaleOutputFormats), this);
    connect(m_format, &QComboBox::activated, this, [this](int index) {
        m_driver->updateOutputFormat(kAllUpscaleOutputFormats.at(static_cast<size_t>(index)));
    });
    addLabelledControl(row, tr("Format:"), m_format);
    addGroupDivider(row, this);

    m_style = menuPicker(displayNames(kAllUpscaleStyles), this, 180);
    connect(m_style, &QComboBox::activated, this, [this](int index) {
        m_driver->updateStyle(kAllUpscaleStyles.at(static_cast<size_t>(index)));
    });
    addLabelledControl(row, tr("Style:"), m_style);
    addGroupDivider(row, this);

    QStringList scales;
    for (int factor : kAllowedUpscaleFactors)
        scales.append(QStringLiteral("%1x").arg(factor));
    m_scale = new SegmentedControl(scales, this);
    connect(m_scale, &SegmentedControl::currentIndexChanged, this, [this](int index) {
        m_driver->updateScale(kAllowedUpscaleFactors.at(static_cast<size_t>(index)));
    });
    addLabelledControl(row, tr("Scale:"), m_scale);
    addGroupDivider(row, this);

    m_quality = new SegmentedControl(displayNames(kAllUpscaleQualities), this);
    connect(m_quality, &SegmentedControl::currentIndexChanged, this, [this](int index) {
        m_driver->updateQuality(kAllUpscaleQualities.at(static_cast<size_t>(index)));
    });
    addLabelledControl(row, tr("Quality:"), m_quality);
    row->addStretch(1);
    pickers->addLayout(row);
    m_qualityCaption = tertiaryCaption(
        tr("Anime / illustration has one 2x network; Quality applies at 4x."), this);
    pickers->addWidget(m_qualityCaption);
    layout->addLayout(pickers);

    m_naming = new NamingView(TabKind::upscale, this);
    connect(m_naming, &NamingView::configEdited, driver, &UpscaleDriver::updateNamingConfig);
    layout->addWidget(m_naming);

    m_outputFolder = new OutputFolderRow(driver->sharedOutputSettings(), this);
    layout->addWidget(m_outputFolder);

    connect(driver, &UpscaleDriver::settingsChanged, this, &UpscaleSettingsBar::syncFromSettings);
    syncFromSettings();
}

void UpscaleSettingsBar::syncFromSettings() {
    if (!m_driver)
        return;
    const UpscaleSettings& settings = m_driver->settings();
    for (auto [picker, index] : {std::pair{m_format, static_cast<int>(settings.outputFormat)},
                                 std::pair{m_style, static_cast<int>(settings.style)}}) {
        const QSignalBlocker blocker(picker);
        picker->setCurrentIndex(index);
    }
    const int factor = chooseModel(settings.style, settings.scale, settings.quality).factor;
    const auto position = std::find(kAllowedUpscaleFactors.begin(), kAllowedUpscaleFactors.end(), factor);
    m_scale->setCurrentIndex(static_cast<int>(position - kAllowedUpscaleFactors.begin()));
    m_quality->setCurrentIndex(static_cast<int>(settings.quality));
    const bool qualityMatters = chooseModel(settings.style, settings.scale, UpscaleQuality::best) !=
                                chooseModel(settings.style, settings.scale, UpscaleQuality::fast);
    m_quality->setEnabled(qualityMatters);
    m_qualityCaption->setVisible(!qualityMatters);
    m_naming->setConfig(settings.namingConfig());
}

} // namespace glintwork
