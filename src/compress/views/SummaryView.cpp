#include "compress/views/SummaryView.h"

#include <QHBoxLayout>
#include <QLabel>

#include "batch/FileService.h"
#include "batch/views/SizeChange.h"
#include "platform/views/TabStyle.h"
#include "compress/ConversionViewModel.h"

namespace glintwork {

SummaryView::SummaryView(ToolDriver* batch, ConversionViewModel* driver, QWidget* parent)
    : BatchSummaryView(batch, tr("Converting..."), parent), m_driver(driver) {
    m_totals = new QLabel(this);
    extrasLayout()->addWidget(m_totals);
    m_saving = new QLabel(this);
    extrasLayout()->addWidget(m_saving);
    refreshExtras();
}

void SummaryView::refreshExtras() {
    if (!m_driver || !m_totals)
        return;
    const qint64 original = m_driver->totalOriginalSize();
    const qint64 compressed = m_driver->totalCompressedSize();
    m_totals->setVisible(compressed > 0);
    m_saving->setVisible(compressed > 0 && original >= 1);
    if (compressed > 0) {
        m_totals->setText(FileService::formatByteCount(original) + QStringLiteral(" → ") +
                          FileService::formatByteCount(compressed));
    }
    if (compressed > 0 && original >= 1) {
        m_saving->setText(batchSavingText(original, compressed));
        QPalette palette = m_saving->palette();
        palette.setColor(QPalette::WindowText,
                         compressed <= original ? successColor() : failureColor());
        m_saving->setPalette(palette);
    }
}

QString SummaryView::totalsText() const {
    return m_totals->isVisibleTo(this) ? m_totals->text() : QString();
}

QString SummaryView::savingText() const {
    return m_saving->isVisibleTo(this) ? m_saving->text() : QString();
}

} // namespace glintwork
