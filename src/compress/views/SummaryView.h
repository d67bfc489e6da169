#pragma once

#include <QPointer>
#include <QWidget>

class QLabel;
class QTimer;

namespace glintwork {

class ConversionViewModel;

// One line under the list: files done out of all, the total sizes before and after with
// the saving, and a busy note while a run goes on.
class SummaryView : public QWidget {
    Q_OBJECT

public:
    explicit SummaryView(ConversionViewModel* driver, QWidget* parent = nullptr);

    [[nodiscard]] QString filesText() const;
    [[nodiscard]] QString totalsText() const;
    [[nodiscard]] QString savingText() const;

private:
    void scheduleRefresh();
    void refresh();
    void watchItems();

    QPointer<ConversionViewModel> m_driver;
    QLabel* m_files = nullptr;
    QLabel* m_totals = nullptr;
    QLabel* m_saving = nullptr;
    QLabel* m_spinner = nullptr;
    QLabel* m_converting = nullptr;
    QTimer* m_refreshTimer = nullptr;
    QTimer* m_spinnerTimer = nullptr;
    int m_spinnerPhase = 0;
    QList<QMetaObject::Connection> m_itemConnections;
};

} // namespace glintwork
