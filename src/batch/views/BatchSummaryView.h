#pragma once

#include <QElapsedTimer>
#include <QList>
#include <QPointer>
#include <QWidget>

#include "batch/ToolDriver.h"

class QHBoxLayout;
class QLabel;
class QTimer;

namespace glintwork {

// One line under a tool's list: files done out of all, how many failed or were cancelled,
// and while a run goes on a busy note with a spinner and, once it can be estimated, the
// time left. A tool may add its own totals after the count.
class BatchSummaryView : public QWidget {
    Q_OBJECT

public:
    // `busyText` is the tool's note during a run ("Converting...", "Processing...", …).
    BatchSummaryView(ToolDriver* driver, const QString& busyText, QWidget* parent = nullptr);

    [[nodiscard]] QString filesText() const;
    // "1 failed · 2 cancelled"; empty when none.
    [[nodiscard]] QString problemsText() const;
    // "About 2 min left" while a run goes and the rest can be estimated; else empty.
    [[nodiscard]] QString timeLeftText() const;
    [[nodiscard]] bool isShowingBusyNote() const;

    // The words for `seconds` of work left.
    [[nodiscard]] static QString timeLeftText(double seconds);

protected:
    [[nodiscard]] ToolDriver* driver() const { return m_driver; }
    // Where a tool's own parts go, between the count and the busy note.
    [[nodiscard]] QHBoxLayout* extrasLayout() const { return m_extras; }
    // Called on every recount (a derived view also calls it once it is built).
    virtual void refreshExtras() {}

private:
    void refresh();
    void noteRunningChanged();
    [[nodiscard]] QString estimateTimeLeft() const;

    QPointer<ToolDriver> m_driver;
    QLabel* m_files = nullptr;
    QLabel* m_problems = nullptr;
    QLabel* m_timeLeft = nullptr;
    // The items the run in progress works on, and how long it has been going.
    QList<QPointer<ImageItem>> m_runItems;
    QElapsedTimer m_runClock;
    QTimer* m_clockTimer = nullptr;
    QHBoxLayout* m_extras = nullptr;
    QLabel* m_spinner = nullptr;
    QLabel* m_busy = nullptr;
    QTimer* m_refreshTimer = nullptr;
    QTimer* m_spinnerTimer = nullptr;
    int m_spinnerPhase = 0;
};

} // namespace glintwork
