#include "app/AcknowledgementsView.h"

#include <QFile>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "platform/Resources.h"

namespace glintwork {

AcknowledgementsView::AcknowledgementsView(QWidget* parent) : QDialog(parent) {
    setWindowTitle(tr("Acknowledgements"));
    resize(560, 460);
    setWindowModality(Qt::WindowModal);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 16, 16, 16);

    auto* header = new QHBoxLayout;
    auto* title = new QLabel(tr("Acknowledgements"), this);
    QFont titleFont = title->font();
    titleFont.setWeight(QFont::DemiBold);
    title->setFont(titleFont);
    header->addWidget(title);
    header->addStretch(1);
    auto* close = new QPushButton(tr("Close"), this);
    close->setAutoDefault(false);
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    header->addWidget(close);
    layout->addLayout(header);

    auto* line = new QFrame(this);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    layout->addWidget(line);

    m_text = new QPlainTextEdit(this);
    m_text->setReadOnly(true);
    m_text->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    m_text->setFrameShape(QFrame::NoFrame);
    m_text->setPlainText(loadText());
    layout->addWidget(m_text, 1);
}

QString AcknowledgementsView::text() const {
    return m_text->toPlainText();
}

QString AcknowledgementsView::loadText() {
    if (const auto path = Resources::path(QStringLiteral("LICENSE-THIRD-PARTY.txt"))) {
        QFile file(*path);
        if (file.open(QIODevice::ReadOnly))
            return QString::fromUtf8(file.readAll());
    }
    return tr("Third-party license information is unavailable.");
}

} // namespace glintwork
