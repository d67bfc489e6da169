#include "compress/views/SummaryView.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QTimer>

#include "batch/FileService.h"
#include "batch/views/SizeChange.h"
#include "batch/views/Symbols.h"
#include "batch/views/TabStyle.h"
#include "compress/ConversionViewModel.h"

namespace glintwork {

SummaryView::SummaryView(ConversionViewModel* driver, QWidget* parent)
    : QWidget(parent), m_driver(driver), m_refreshTimer(new QTimer(this)),
      m_spinnerTimer(new QTimer(this)) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(12, 6, 12, 6);
    layout->setSpacing(6);

    auto* symbol = new QLabel(this);
    symbol->setPixmap(tintedSymbol(Symbol::document, secondaryTextColor(palette()), 14,
                                   devicePixelRatioF()));
    layout->addWidget(symbol);
    m_files = new QLabel(this);
    layout->addWidget(m_files);
    layout->addSpacing(10);
    m_totals = new QLabel(this);
    layout->addWidget(m_totals);
    m_saving = new QLabel(this);
    layout->addWidget(m_saving);
    layout->addStretch(1);
    m_spinner = new QLabel(this);
    layout->addWidget(m_spinner);
    m_converting = new QLabel(tr("Converting..."), this);
    layout->addWidget(m_converting);

    // Many items finish within one moment; one recount per pass of the event loop.
    m_refreshTimer->setSingleShot(true);
    m_refreshTimer->setInterval(0);
    connect(m_refreshTimer, &QTimer::timeout, this, &SummaryView::refresh);
    m_spinnerTimer->setInterval(80);
    connect(m_spinnerTimer, &QTimer::timeout, this, [this] {
        m_spinner->setPixmap(spinnerFrame(++m_spinnerPhase, secondaryTextColor(palette()), 14,
                                          devicePixelRatioF()));
    });

    connect(driver, &ConversionViewModel::itemsChanged, this, [this] {
        watchItems();
        refresh();
    });
    connect(driver, &ConversionViewModel::isConvertingChanged, this, &SummaryView::refresh);
    watchItems();
    refresh();
}

void SummaryView::watchItems() {
    for (const auto& connection : m_itemConnections)
        disconnect(connection);
    m_itemConnections.clear();
    if (!m_driver)
        return;
    for (const auto& item : m_driver->items()) {
        m_itemConnections.append(connect(item.get(), &ImageItem::statusChanged, this,
                                         &SummaryView::scheduleRefresh));
        m_itemConnections.append(connect(item.get(), &ImageItem::compressedSizeChanged, this,
                                         &SummaryView::scheduleRefresh));
    }
}

void SummaryView::scheduleRefresh() {
    m_refreshTimer->start();
}

void SummaryView::refresh() {
    if (!m_driver)
        return;
    const ItemList& items = m_driver->items();
    const auto done = std::count_if(items.begin(), items.end(), [](const auto& item) {
        return item->status().is(ConversionStatus::Kind::completed);
    });
    m_files->setText(tr("%1/%2 files").arg(done).arg(items.size()));

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

    const bool converting = m_driver->isConverting();
    m_spinner->setVisible(converting);
    m_converting->setVisible(converting);
    if (converting && !m_spinnerTimer->isActive()) {
        m_spinner->setPixmap(spinnerFrame(m_spinnerPhase, secondaryTextColor(palette()), 14,
                                          devicePixelRatioF()));
        m_spinnerTimer->start();
    } else if (!converting) {
        m_spinnerTimer->stop();
    }
}

QString SummaryView::filesText() const {
    return m_files->text();
}

QString SummaryView::totalsText() const {
    return m_totals->isVisibleTo(this) ? m_totals->text() : QString();
}

QString SummaryView::savingText() const {
    return m_saving->isVisibleTo(this) ? m_saving->text() : QString();
}

} // namespace glintwork
