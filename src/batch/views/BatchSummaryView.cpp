#include "batch/views/BatchSummaryView.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QTimer>

#include "batch/ToolDriver.h"
#include "batch/views/Symbols.h"
#include "platform/views/TabStyle.h"

namespace glintwork {

BatchSummaryView::BatchSummaryView(ToolDriver* driver, const QString& busyText, QWidget* parent)
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
    QPalette secondary = m_files->palette();
    secondary.setColor(QPalette::WindowText, secondaryTextColor(palette()));
    m_files->setPalette(secondary);
    layout->addWidget(m_files);
    m_extras = new QHBoxLayout;
    m_extras->setSpacing(6);
    layout->addSpacing(10);
    layout->addLayout(m_extras);
    layout->addStretch(1);
    m_spinner = new QLabel(this);
    layout->addWidget(m_spinner);
    m_busy = new QLabel(busyText, this);
    layout->addWidget(m_busy);

    // Many items finish within one moment; one recount per pass of the event loop.
    m_refreshTimer->setSingleShot(true);
    m_refreshTimer->setInterval(0);
    connect(m_refreshTimer, &QTimer::timeout, this, &BatchSummaryView::refresh);
    m_spinnerTimer->setInterval(80);
    connect(m_spinnerTimer, &QTimer::timeout, this, [this] {
        m_spinner->setPixmap(spinnerFrame(++m_spinnerPhase, secondaryTextColor(palette()), 14,
                                          devicePixelRatioF()));
    });

    connect(driver, &ToolDriver::itemsChanged, this, &BatchSummaryView::refresh);
    connect(driver, &ToolDriver::itemOutcomeChanged, m_refreshTimer, qOverload<>(&QTimer::start));
    connect(driver, &ToolDriver::isRunningChanged, this, &BatchSummaryView::refresh);
    refresh();
}

void BatchSummaryView::refresh() {
    if (!m_driver)
        return;
    m_files->setText(
        tr("%1/%2 files").arg(m_driver->completedCount()).arg(m_driver->items().size()));
    refreshExtras();

    const bool running = m_driver->isRunning();
    m_spinner->setVisible(running);
    m_busy->setVisible(running);
    if (running && !m_spinnerTimer->isActive()) {
        m_spinner->setPixmap(spinnerFrame(m_spinnerPhase, secondaryTextColor(palette()), 14,
                                          devicePixelRatioF()));
        m_spinnerTimer->start();
    } else if (!running) {
        m_spinnerTimer->stop();
    }
}

QString BatchSummaryView::filesText() const {
    return m_files->text();
}

bool BatchSummaryView::isShowingBusyNote() const {
    return m_busy->isVisibleTo(this);
}

} // namespace glintwork
