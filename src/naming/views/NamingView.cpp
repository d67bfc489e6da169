#include "naming/views/NamingView.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QStackedWidget>
#include <QVBoxLayout>

#include "platform/views/SegmentedControl.h"
#include "platform/views/ViewParts.h"

namespace glintwork {

namespace {

QHBoxLayout* row(QWidget* page) {
    auto* layout = new QHBoxLayout;
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);
    Q_UNUSED(page);
    return layout;
}

// A field being typed in is left alone: re-showing the cleaned value under the cursor
// would fight the user (an emptied start number would jump back at once).
void showText(QLineEdit* field, const QString& text) {
    if (field->hasFocus() || field->text() == text)
        return;
    field->setText(text);
}

} // namespace

QString NamingView::defaultSuffix(TabKind tab) {
    switch (tab) {
    case TabKind::compress:
        return {};
    case TabKind::cutout:
        return QStringLiteral("-cutout");
    case TabKind::upscale:
        return QStringLiteral("-upscaled-{scale}x");
    }
    return {};
}

NamingView::NamingView(TabKind tab, QWidget* parent) : QWidget(parent), m_tab(tab) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);

    QStringList labels;
    for (NamingMode mode : kAllNamingModes)
        labels.append(displayName(mode));
    m_mode = new SegmentedControl(labels, this);
    m_mode->setAccessibleName(tr("Filename"));
    connect(m_mode, &SegmentedControl::currentIndexChanged, this, &NamingView::modeChosen);
    layout->addWidget(m_mode, 0, Qt::AlignLeft);

    m_pages = new QStackedWidget(this);
    m_pages->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Maximum);
    layout->addWidget(m_pages);

    auto* originalPage = new QWidget(m_pages);
    auto* originalLayout = new QVBoxLayout(originalPage);
    originalLayout->setContentsMargins(0, 0, 0, 0);
    originalLayout->addWidget(secondaryLabel(tr("Use original filenames"), originalPage, 0.9));
    originalLayout->addStretch(1);
    m_pages->addWidget(originalPage);

    auto* suffixPage = new QWidget(m_pages);
    auto* suffixLayout = new QVBoxLayout(suffixPage);
    suffixLayout->setContentsMargins(0, 0, 0, 0);
    suffixLayout->setSpacing(4);
    auto* suffixRow = row(suffixPage);
    suffixRow->addWidget(new QLabel(tr("Suffix"), suffixPage));
    m_suffix = new QLineEdit(suffixPage);
    m_suffix->setFixedWidth(200);
    m_suffix->setPlaceholderText(defaultSuffix(tab));
    suffixRow->addWidget(m_suffix);
    suffixRow->addStretch(1);
    suffixLayout->addLayout(suffixRow);
    if (tab == TabKind::upscale) {
        suffixLayout->addWidget(secondaryLabel(
            tr("Use {scale} to insert the upscale factor (e.g., -upscaled-4x)"), suffixPage, 0.8));
    }
    suffixLayout->addStretch(1);
    m_pages->addWidget(suffixPage);

    auto* customPage = new QWidget(m_pages);
    auto* customLayout = new QVBoxLayout(customPage);
    customLayout->setContentsMargins(0, 0, 0, 0);
    auto* customRow = row(customPage);
    customRow->addWidget(new QLabel(tr("Prefix"), customPage));
    m_prefix = new QLineEdit(customPage);
    m_prefix->setFixedWidth(140);
    m_prefix->setPlaceholderText(QStringLiteral("image"));
    customRow->addWidget(m_prefix);
    customRow->addSpacing(8);
    customRow->addWidget(new QLabel(tr("Start"), customPage));
    m_startNumber = new QLineEdit(customPage);
    m_startNumber->setFixedWidth(70);
    m_startNumber->setPlaceholderText(QStringLiteral("01"));
    customRow->addWidget(m_startNumber);
    customRow->addStretch(1);
    customLayout->addLayout(customRow);
    customLayout->addStretch(1);
    m_pages->addWidget(customPage);

    connect(m_suffix, &QLineEdit::textEdited, this, [this](const QString& text) {
        NamingConfig next = m_config;
        next.suffix = text;
        edit(next);
    });
    connect(m_prefix, &QLineEdit::textEdited, this, [this](const QString& text) {
        NamingConfig next = m_config;
        next.prefix = text;
        edit(next);
    });
    connect(m_startNumber, &QLineEdit::textEdited, this, [this](const QString& text) {
        NamingConfig next = m_config;
        next.startNumber = text;
        edit(next);
    });
    // Once the user leaves a field it shows what was really stored.
    for (QLineEdit* field : {m_suffix, m_prefix, m_startNumber})
        connect(field, &QLineEdit::editingFinished, this, [this] { setConfig(m_config); });

    setConfig(m_config);
}

void NamingView::modeChosen(int index) {
    NamingConfig next = m_config;
    next.mode = kAllNamingModes[static_cast<size_t>(index)];
    if (next.mode == NamingMode::suffix && next.suffix.isEmpty())
        next.suffix = defaultSuffix(m_tab);
    edit(next);
}

void NamingView::edit(const NamingConfig& config) {
    m_config = config;
    showFields();
    Q_EMIT configEdited(config);
}

void NamingView::setConfig(const NamingConfig& config) {
    m_config = config;
    showFields();
    showText(m_suffix, config.suffix);
    showText(m_prefix, config.prefix);
    showText(m_startNumber, config.startNumber);
}

void NamingView::showFields() {
    const int index = static_cast<int>(m_config.mode);
    m_mode->setCurrentIndex(index);
    m_pages->setCurrentIndex(index);
    // Only the shown page takes room, so a one-line page leaves no gap below it.
    for (int page = 0; page < m_pages->count(); ++page) {
        m_pages->widget(page)->setSizePolicy(QSizePolicy::Preferred, page == index
                                                                         ? QSizePolicy::Preferred
                                                                         : QSizePolicy::Ignored);
    }
    m_pages->updateGeometry();
    // Switching mode fills in a default suffix the user never typed in this field.
    if (!m_suffix->hasFocus() && m_suffix->text() != m_config.suffix)
        m_suffix->setText(m_config.suffix);
}

} // namespace glintwork
