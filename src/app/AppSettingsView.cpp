#include "app/AppSettingsView.h"

#include <QApplication>
#include <QComboBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "app/AcknowledgementsView.h"
#include "platform/views/TabStyle.h"

namespace glintwork {

namespace {

void setTextColor(QWidget* widget, const QColor& color) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, color);
    widget->setPalette(palette);
}

} // namespace

AppSettingsView::AppSettingsView(QWidget* parent)
    : QDialog(parent), m_selection(currentAppLanguage()) {
    setWindowTitle(tr("Settings"));
    setFixedSize(420, 300);
    setWindowModality(Qt::WindowModal);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 24, 24, 24);
    layout->setSpacing(20);

    auto* title = new QLabel(tr("Settings"), this);
    QFont titleFont = title->font();
    titleFont.setWeight(QFont::DemiBold);
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.2);
    title->setFont(titleFont);
    layout->addWidget(title);

    auto* languageRow = new QHBoxLayout;
    auto* languageLabel = new QLabel(tr("Language"), this);
    setTextColor(languageLabel, secondaryTextColor(palette()));
    languageRow->addWidget(languageLabel);
    languageRow->addStretch(1);
    m_language = new QComboBox(this);
    m_language->setFixedWidth(200);
    m_language->setAccessibleName(tr("Language"));
    for (AppLanguage language : kAllAppLanguages)
        m_language->addItem(displayName(language));
    m_language->setCurrentIndex(static_cast<int>(m_selection));
    connect(m_language, &QComboBox::activated, this, [this](int index) {
        select(kAllAppLanguages.at(static_cast<size_t>(index)));
    });
    languageRow->addWidget(m_language);
    layout->addLayout(languageRow);

    auto* note = new QLabel(tr("Language changes take effect after you restart Glintwork."), this);
    note->setWordWrap(true);
    QFont caption = note->font();
    caption.setPointSizeF(caption.pointSizeF() * 0.85);
    note->setFont(caption);
    setTextColor(note, tertiaryTextColor(palette()));
    layout->addWidget(note);

    auto* line = new QFrame(this);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    layout->addWidget(line);

    auto* aboutRow = new QHBoxLayout;
    auto* aboutLabel = new QLabel(tr("About"), this);
    setTextColor(aboutLabel, secondaryTextColor(palette()));
    aboutRow->addWidget(aboutLabel);
    aboutRow->addStretch(1);
    m_acknowledgements = new QPushButton(tr("Acknowledgements"), this);
    m_acknowledgements->setFlat(true);
    m_acknowledgements->setCursor(Qt::PointingHandCursor);
    m_acknowledgements->setStyleSheet(
        QStringLiteral("QPushButton { color: palette(link); border: none; padding: 2px; }"));
    connect(m_acknowledgements, &QPushButton::clicked, this, &AppSettingsView::showAcknowledgements);
    aboutRow->addWidget(m_acknowledgements);
    layout->addLayout(aboutRow);

    layout->addStretch(1);

    auto* closeRow = new QHBoxLayout;
    closeRow->addStretch(1);
    m_close = new QPushButton(tr("Close"), this);
    m_close->setAutoDefault(false);
    connect(m_close, &QPushButton::clicked, this, &QDialog::reject);
    closeRow->addWidget(m_close);
    layout->addLayout(closeRow);
}

void AppSettingsView::select(AppLanguage language) {
    m_language->setCurrentIndex(static_cast<int>(language));
    if (language == m_selection)
        return;
    m_selection = language;
    applyAppLanguage(language);
    showRestartAlert();
}

void AppSettingsView::showRestartAlert() {
    if (m_restartAlert)
        return;
    // Title in bold with the explanation below, the way an alert reads.
    m_restartAlert = new QMessageBox(QMessageBox::Information, tr("Restart Required"),
                                     tr("Restart Required"), QMessageBox::NoButton, this);
    m_restartAlert->setInformativeText(tr("Language changes take effect after restarting Glintwork."));
    m_restartAlert->setAttribute(Qt::WA_DeleteOnClose);
    QPushButton* quitNow = m_restartAlert->addButton(tr("Quit Now"), QMessageBox::AcceptRole);
    m_restartAlert->addButton(tr("Later"), QMessageBox::RejectRole);
    connect(quitNow, &QPushButton::clicked, this, [this] {
        // The sheet is gone before the application asks its windows to close.
        accept();
        QTimer::singleShot(kQuitDelayMs, qApp, &QCoreApplication::quit);
    });
    m_restartAlert->open();
}

void AppSettingsView::showAcknowledgements() {
    if (m_acknowledgementsSheet)
        return;
    m_acknowledgementsSheet = new AcknowledgementsView(this);
    m_acknowledgementsSheet->setAttribute(Qt::WA_DeleteOnClose);
    m_acknowledgementsSheet->open();
}

} // namespace glintwork
