#include "batch/views/BatchSummaryView.h"

#include <algorithm>
#include <cmath>

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
    symbol->setPixmap(
        tintedSymbol(Symbol::fileCount, secondaryTextColor(palette()), 14, devicePixelRatioF()));
    layout->addWidget(symbol);
    m_files = new QLabel(this);
    QPalette secondary = m_files->palette();
    secondary.setColor(QPalette::WindowText, secondaryTextColor(palette()));
    m_files->setPalette(secondary);
    layout->addWidget(m_files);
    m_problems = new QLabel(this);
    QPalette failed = m_problems->palette();
    failed.setColor(QPalette::WindowText, failureColor());
    m_problems->setPalette(failed);
    layout->addWidget(m_problems);
    m_extras = new QHBoxLayout;
    m_extras->setSpacing(6);
    layout->addSpacing(10);
    layout->addLayout(m_extras);
    layout->addStretch(1);
    m_spinner = new QLabel(this);
    layout->addWidget(m_spinner);
    m_busy = new QLabel(busyText, this);
    layout->addWidget(m_busy);
    m_timeLeft = new QLabel(this);
    m_timeLeft->setPalette(secondary);
    layout->addWidget(m_timeLeft);

    // Many items finish within one moment; one recount per pass of the event loop.
    m_refreshTimer->setSingleShot(true);
    m_refreshTimer->setInterval(0);
    connect(m_refreshTimer, &QTimer::timeout, this, &BatchSummaryView::refresh);
    m_spinnerTimer->setInterval(80);
    connect(m_spinnerTimer, &QTimer::timeout, this, [this] {
        m_spinner->setPixmap(
            spinnerFrame(++m_spinnerPhase, secondaryTextColor(palette()), 14, devicePixelRatioF()));
    });

    connect(driver, &ToolDriver::itemsChanged, this, &BatchSummaryView::refresh);
    connect(driver, &ToolDriver::itemOutcomeChanged, m_refreshTimer, qOverload<>(&QTimer::start));
    connect(driver, &ToolDriver::isRunningChanged, this, &BatchSummaryView::noteRunningChanged);
    // Progress within a file arrives without an outcome; the estimate follows it at a calm pace.
    m_clockTimer = new QTimer(this);
    m_clockTimer->setInterval(1000);
    connect(m_clockTimer, &QTimer::timeout, this, &BatchSummaryView::refresh);
    noteRunningChanged();
}

void BatchSummaryView::noteRunningChanged() {
    m_runItems.clear();
    if (m_driver && m_driver->isRunning()) {
        // When a run begins, the files it will work on are the ones waiting.
        for (const auto& item : m_driver->items()) {
            if (item->status().is(ConversionStatus::Kind::waiting))
                m_runItems.append(item.get());
        }
        m_runClock.start();
        m_clockTimer->start();
    } else {
        m_clockTimer->stop();
    }
    refresh();
}

QString BatchSummaryView::estimateTimeLeft() const {
    if (m_runItems.isEmpty() || !m_runClock.isValid())
        return {};
    double done = 0;
    for (const auto& item : m_runItems) {
        if (!item)
            continue; // removed from the list: nothing left to do for it
        switch (item->status().kind()) {
        case ConversionStatus::Kind::waiting:
            break;
        case ConversionStatus::Kind::processing:
            done += std::clamp(item->progress(), 0.0, 1.0);
            break;
        default:
            done += 1;
            break;
        }
    }
    // Until the first tile or file is done there is nothing to go by.
    if (done <= 0)
        return {};
    const double fraction = done / double(m_runItems.size());
    const double elapsed = double(m_runClock.elapsed()) / 1000.0;
    return timeLeftText(elapsed * (1.0 - fraction) / fraction);
}

QString BatchSummaryView::timeLeftText(double seconds) {
    if (seconds < 60)
        return tr("Less than a minute left");
    const int minutes = int(std::lround(seconds / 60.0));
    if (minutes < 90)
        return tr("About %n min left", nullptr, minutes);
    return tr("About %n h left", nullptr, int(std::lround(seconds / 3600.0)));
}

void BatchSummaryView::refresh() {
    if (!m_driver)
        return;
    m_files->setText(
        tr("%1/%2 files").arg(m_driver->completedCount()).arg(m_driver->items().size()));
    int failed = 0;
    int cancelled = 0;
    for (const auto& item : m_driver->items()) {
        failed += item->status().is(ConversionStatus::Kind::error) ? 1 : 0;
        cancelled += item->status().is(ConversionStatus::Kind::cancelled) ? 1 : 0;
    }
    QStringList problems;
    if (failed > 0)
        problems << tr("%n failed", nullptr, failed);
    if (cancelled > 0)
        problems << tr("%n cancelled", nullptr, cancelled);
    m_problems->setText(problems.join(QStringLiteral(" · ")));
    m_problems->setVisible(!problems.isEmpty());
    refreshExtras();

    const bool running = m_driver->isRunning();
    m_spinner->setVisible(running);
    m_busy->setVisible(running);
    const QString left = running ? estimateTimeLeft() : QString();
    m_timeLeft->setText(left);
    m_timeLeft->setVisible(!left.isEmpty());
    if (running && !m_spinnerTimer->isActive()) {
        m_spinner->setPixmap(
            spinnerFrame(m_spinnerPhase, secondaryTextColor(palette()), 14, devicePixelRatioF()));
        m_spinnerTimer->start();
    } else if (!running) {
        m_spinnerTimer->stop();
    }
}

QString BatchSummaryView::filesText() const {
    return m_files->text();
}

QString BatchSummaryView::problemsText() const {
    return m_problems->isVisibleTo(this) ? m_problems->text() : QString();
}

QString BatchSummaryView::timeLeftText() const {
    return m_timeLeft->isVisibleTo(this) ? m_timeLeft->text() : QString();
}

bool BatchSummaryView::isShowingBusyNote() const {
    return m_busy->isVisibleTo(this);
}

} // namespace glintwork
