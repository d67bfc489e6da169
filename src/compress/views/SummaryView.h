#pragma once

#include <QPointer>

#include "batch/views/BatchSummaryView.h"

class QLabel;

namespace glintwork {

class CompressDriver;

// One line under the compress list: files done out of all, the total sizes of the files
// converted so far before and after with the saving, and a busy note while a run goes on.
class SummaryView : public BatchSummaryView {
    Q_OBJECT

public:
    SummaryView(ToolDriver* batch, CompressDriver* driver, QWidget* parent = nullptr);

    [[nodiscard]] QString totalsText() const;
    [[nodiscard]] QString savingText() const;

protected:
    void refreshExtras() override;

private:
    QPointer<CompressDriver> m_driver;
    QLabel* m_totals = nullptr;
    QLabel* m_saving = nullptr;
};

} // namespace glintwork
