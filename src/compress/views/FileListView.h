#pragma once

#include <QPointer>
#include <QTableView>

class QTimer;

namespace glintwork {

class ConversionViewModel;
class FileListModel;

// The compress tool's list: one row per file with its conversion, sizes, saving and
// status; "Delete" in a row's context menu removes that file from the batch.
class FileListView : public QTableView {
    Q_OBJECT

public:
    explicit FileListView(ConversionViewModel* driver, QWidget* parent = nullptr);

    [[nodiscard]] FileListModel* listModel() const { return m_model; }
    // The menu a row offers (exposed so that it can be driven without a mouse).
    [[nodiscard]] QMenu* contextMenuForRow(int row);
    [[nodiscard]] int spinnerPhase() const { return m_spinnerPhase; }

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void updateSpinner();

    QPointer<ConversionViewModel> m_driver;
    FileListModel* m_model = nullptr;
    QTimer* m_spinnerTimer = nullptr;
    int m_spinnerPhase = 0;
};

} // namespace glintwork
