#pragma once

#include <QPointer>
#include <QWidget>

#include "batch/ToolDriver.h"

class QHBoxLayout;
class QLabel;
class QTimer;

namespace glintwork {

// One line under a tool's list: files done out of all, and a busy note with a spinner
// while a run goes on. A tool may add its own totals after the count.
class BatchSummaryView : public QWidget {
    Q_OBJECT

public:
    // `busyText` is the tool's note during a run ("Converting...", "Processing...", …).
    BatchSummaryView(ToolDriver* driver, const QString& busyText, QWidget* parent = nullptr);

    [[nodiscard]] QString filesText() const;
    [[nodiscard]] bool isShowingBusyNote() const;

protected:
    [[nodiscard]] ToolDriver* driver() const { return m_driver; }
    // Where a tool's own parts go, between the count and the busy note.
    [[nodiscard]] QHBoxLayout* extrasLayout() const { return m_extras; }
    // Called on every recount (a derived view also calls it once it is built).
    virtual void refreshExtras() {}

private:
    void refresh();

    QPointer<ToolDriver> m_driver;
    QLabel* m_files = nullptr;
    QHBoxLayout* m_extras = nullptr;
    QLabel* m_spinner = nullptr;
    QLabel* m_busy = nullptr;
    QTimer* m_refreshTimer = nullptr;
    QTimer* m_spinnerTimer = nullptr;
    int m_spinnerPhase = 0;
};

} // namespace glintwork
