#include "cutout/views/CutoutSettingsBar.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "batch/views/DropZoneView.h"
#include "batch/views/OutputFolderRow.h"
#include "platform/views/SegmentedControl.h"
#include "platform/views/ViewParts.h"
#include "cutout/BackgroundRemover.h"
#include "cutout/CutoutDriver.h"
#include "naming/views/NamingView.h"

namespace glintwork {

CutoutSettingsBar::CutoutSettingsBar(CutoutDriver* driver, QWidget* parent)
    : QWidget(parent), m_driver(driver) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 12, 16, 12);
    layout->setSpacing(12);

    m_dropZone = new CompactDropZoneView(TabKind::cutout, this);
    connect(m_dropZone, &CompactDropZoneView::filesAdded, driver,
            &CutoutDriver::addFilesInBackground);
    layout->addWidget(m_dropZone);

    auto* row = new QHBoxLayout;
    row->setSpacing(6);
    m_mode = new SegmentedControl(displayNames(kAllCutoutModes), this);
    m_mode->setToolTip(wrappingToolTip(cutoutModeHelpText()));
    connect(m_mode, &SegmentedControl::currentIndexChanged, this, [this](int index) {
        m_driver->updateMode(kAllCutoutModes.at(static_cast<size_t>(index)));
    });
    addLabelledControl(row, tr("Mode:"), m_mode);
    addGroupDivider(row, this);

    m_format = menuPicker(displayNames(kAllCutoutOutputFormats), this);
    connect(m_format, &QComboBox::activated, this, [this](int index) {
        m_driver->updateOutputFormat(kAllCutoutOutputFormats.at(static_cast<size_t>(index)));
    });
    addLabelledControl(row, tr("Format:"), m_format);
    addGroupDivider(row, this);

    m_exportMask = new QCheckBox(tr("Export mask separately"), this);
    m_exportMask->setToolTip(wrappingToolTip(tr(
        "Writes a grayscale PNG mask alongside the cutout, using the same basename plus -mask.")));
    connect(m_exportMask, &QCheckBox::clicked, this,
            [this](bool checked) { m_driver->updateExportMaskSeparately(checked); });
    row->addWidget(m_exportMask);
    row->addStretch(1);
    layout->addLayout(row);

    // Checked once, when the tab opens: installing the network means running setup.
    if (!BackgroundRemover::subjectModelPath()) {
        m_networkNotice = new QLabel(
            tr("Only plain backgrounds can be cut out: install the segmentation network with "
               "scripts/setup-models."),
            this);
        m_networkNotice->setWordWrap(true);
        m_networkNotice->setObjectName(QStringLiteral("networkNotice"));
        layout->addWidget(m_networkNotice);
    }

    m_naming = new NamingView(TabKind::cutout, this);
    connect(m_naming, &NamingView::configEdited, driver, &CutoutDriver::updateNamingConfig);
    layout->addWidget(m_naming);

    m_outputFolder = new OutputFolderRow(driver->sharedOutputSettings(), this);
    layout->addWidget(m_outputFolder);

    connect(driver, &CutoutDriver::settingsChanged, this, &CutoutSettingsBar::syncFromSettings);
    syncFromSettings();
}

void CutoutSettingsBar::syncFromSettings() {
    if (!m_driver)
        return;
    const CutoutSettings& settings = m_driver->settings();
    m_mode->setCurrentIndex(static_cast<int>(settings.mode));
    {
        const QSignalBlocker blocker(m_format);
        m_format->setCurrentIndex(static_cast<int>(settings.outputFormat));
    }
    m_exportMask->setChecked(settings.exportMaskSeparately);
    m_naming->setConfig(settings.namingConfig());
}

} // namespace glintwork
