#include "compress/views/CompressSettingsBar.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFontDatabase>
#include <QGraphicsOpacityEffect>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QVBoxLayout>

#include "batch/views/DropZoneView.h"
#include "batch/views/OutputFolderRow.h"
#include "platform/views/ViewParts.h"
#include "compress/CompressDriver.h"
#include "naming/views/NamingView.h"

namespace glintwork {

namespace {

QString limitText(const std::optional<int>& limit) {
    return limit ? QString::number(*limit) : QString();
}

} // namespace

std::optional<int> CompressSettingsBar::parseLimit(const QString& typed, QString* digits) {
    QString kept;
    for (const QChar character : typed) {
        if (character.isNumber())
            kept.append(character);
    }
    if (digits)
        *digits = kept;
    if (kept.isEmpty())
        return std::nullopt;
    // Digits of any script count; numbers such as "½" do not parse.
    QString ascii;
    for (const QChar character : kept) {
        const int value = character.digitValue();
        if (value < 0)
            return std::nullopt;
        ascii.append(QChar(u'0' + value));
    }
    bool ok = false;
    const int value = ascii.toInt(&ok, 10);
    return ok ? std::optional<int>(value) : std::nullopt;
}

CompressSettingsBar::CompressSettingsBar(CompressDriver* driver, QWidget* parent)
    : QWidget(parent), m_driver(driver) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 12, 16, 12);
    layout->setSpacing(12);

    m_dropZone = new CompactDropZoneView(TabKind::compress, this);
    connect(m_dropZone, &CompactDropZoneView::filesAdded, driver, &CompressDriver::addFilesInBackground);
    layout->addWidget(m_dropZone);

    // Format and quality.
    auto* formatRow = new QHBoxLayout;
    formatRow->setSpacing(4);
    m_format = menuPicker(displayNames(kAllOutputFormats), this);
    connect(m_format, &QComboBox::activated, this, [this](int index) {
        m_driver->updateOutputFormat(kAllOutputFormats.at(static_cast<size_t>(index)));
    });
    addLabelledControl(formatRow, tr("Format:"), m_format);
    addGroupDivider(formatRow, this);
    formatRow->addWidget(secondaryLabel(tr("Quality:"), this));
    for (size_t i = 0; i < kQualityPresets.size(); ++i) {
        auto* button = new QPushButton(tr(kQualityPresets[i].label), this);
        button->setCheckable(true);
        button->setStyleSheet(QStringLiteral(
            "QPushButton { padding: 2px 8px; }"
            "QPushButton:checked { background: palette(highlight); color: palette(highlighted-text);"
            " border: 1px solid palette(highlight); border-radius: 4px; }"));
        const int quality = kQualityPresets[i].quality;
        connect(button, &QPushButton::clicked, this, [this, quality] {
            m_driver->updateQuality(quality);
            // A click on the preset already in use would otherwise leave it unticked.
            syncFromSettings();
        });
        m_presets[i] = button;
        formatRow->addWidget(button);
    }
    m_quality = new QSlider(Qt::Horizontal, this);
    m_quality->setRange(0, 100);
    m_quality->setSingleStep(1);
    m_quality->setPageStep(5);
    m_quality->setFixedWidth(120);
    m_quality->setAccessibleName(tr("Quality"));
    connect(m_quality, &QSlider::valueChanged, this,
            [this](int value) { m_driver->updateQuality(value); });
    formatRow->addWidget(m_quality);
    m_qualityValue = new QLabel(this);
    m_qualityValue->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_qualityValue->setFixedWidth(30);
    m_qualityValue->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    formatRow->addWidget(m_qualityValue);
    formatRow->addStretch(1);
    layout->addLayout(formatRow);

    // Resize.
    m_resizeRow = new QWidget(this);
    auto* resizeLayout = new QHBoxLayout(m_resizeRow);
    resizeLayout->setContentsMargins(0, 0, 0, 0);
    resizeLayout->setSpacing(6);
    m_resize = new QCheckBox(tr("Resize"), m_resizeRow);
    connect(m_resize, &QCheckBox::clicked, this,
            [this](bool checked) { m_driver->updateResizeEnabled(checked); });
    resizeLayout->addWidget(m_resize);
    resizeLayout->addSpacing(6);
    m_maxWidth = new QLineEdit(m_resizeRow);
    m_maxHeight = new QLineEdit(m_resizeRow);
    for (auto [field, label] : {std::pair{m_maxWidth, tr("Max width:")},
                                std::pair{m_maxHeight, tr("Max height:")}}) {
        resizeLayout->addWidget(secondaryLabel(label, m_resizeRow));
        field->setFixedWidth(60);
        resizeLayout->addWidget(field);
        resizeLayout->addWidget(secondaryLabel(tr("px"), m_resizeRow));
        resizeLayout->addSpacing(6);
    }
    connect(m_maxWidth, &QLineEdit::textEdited, this, [this] { limitEdited(m_maxWidth, true); });
    connect(m_maxHeight, &QLineEdit::textEdited, this, [this] { limitEdited(m_maxHeight, false); });
    for (QLineEdit* field : {m_maxWidth, m_maxHeight})
        connect(field, &QLineEdit::editingFinished, this, &CompressSettingsBar::syncFromSettings);
    resizeLayout->addStretch(1);
    m_resizeRow->setGraphicsEffect(new QGraphicsOpacityEffect(m_resizeRow));
    layout->addWidget(m_resizeRow);

    m_naming = new NamingView(TabKind::compress, this);
    connect(m_naming, &NamingView::configEdited, driver, &CompressDriver::updateNamingConfig);
    layout->addWidget(m_naming);

    m_outputFolder = new OutputFolderRow(driver->sharedOutputSettings(), this);
    layout->addWidget(m_outputFolder);

    connect(driver, &CompressDriver::settingsChanged, this,
            &CompressSettingsBar::syncFromSettings);
    syncFromSettings();
}

void CompressSettingsBar::limitEdited(QLineEdit* field, bool width) {
    QString digits;
    const std::optional<int> limit = parseLimit(field->text(), &digits);
    if (digits != field->text()) {
        // The caret stays after the same digit it followed before the filtering.
        QString digitsBeforeCaret;
        (void)parseLimit(field->text().left(field->cursorPosition()), &digitsBeforeCaret);
        field->setText(digits);
        field->setCursorPosition(static_cast<int>(digitsBeforeCaret.size()));
    }
    if (width)
        m_driver->updateMaxWidth(limit);
    else
        m_driver->updateMaxHeight(limit);
}

void CompressSettingsBar::syncFromSettings() {
    if (!m_driver)
        return;
    const ConversionSettings& settings = m_driver->settings();
    {
        const QSignalBlocker blocker(m_format);
        m_format->setCurrentIndex(static_cast<int>(settings.outputFormat));
    }
    for (size_t i = 0; i < kQualityPresets.size(); ++i)
        m_presets[i]->setChecked(kQualityPresets[i].quality == settings.quality);
    {
        const QSignalBlocker blocker(m_quality);
        m_quality->setValue(settings.quality);
    }
    m_qualityValue->setText(QString::number(settings.quality));
    m_quality->setAccessibleDescription(QString::number(settings.quality));

    m_resize->setChecked(settings.resizeEnabled);
    m_maxWidth->setEnabled(settings.resizeEnabled);
    m_maxHeight->setEnabled(settings.resizeEnabled);
    for (auto [field, limit] : {std::pair{m_maxWidth, settings.maxWidth},
                                std::pair{m_maxHeight, settings.maxHeight}}) {
        // A field being typed in already shows the digits that were stored.
        if (!field->hasFocus() && field->text() != limitText(limit))
            field->setText(limitText(limit));
    }
    if (auto* effect = qobject_cast<QGraphicsOpacityEffect*>(m_resizeRow->graphicsEffect()))
        effect->setOpacity(settings.resizeEnabled ? 1.0 : 0.6);

    m_naming->setConfig(settings.namingConfig());
}

} // namespace glintwork
