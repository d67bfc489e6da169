#include "compress/views/SummaryView.h"

#include <QHBoxLayout>
#include <QLabel>

#include "batch/FileService.h"
#include "batch/views/SizeChange.h"
#include "platform/views/TabStyle.h"
#include "compress/CompressDriver.h"

namespace glintwork {

SummaryView::SummaryView(ToolDriver* batch, CompressDriver* driver, QWidget* parent)
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
    // Only files converted so far count, on both sides: during a run the saving is that of
    // the files finished, not of those against the whole list.
    qint64 original = 0;
    qint64 compressed = 0;
    for (const auto& item : m_driver->items()) {
        if (!item->status().is(ConversionStatus::Kind::completed) || !item->compressedSize())
            continue;
        original += item->originalSize();
        compressed += *item->compressedSize();
    }
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
