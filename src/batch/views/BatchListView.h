#pragma once

#include <QPointer>
#include <QTableView>

class QMenu;
class QTimer;

namespace glintwork {

class ToolDriver;
class BatchListModel;
class ImageItem;

// A tool's list: one painted row per file (no widget per row), the file name shortened in
// the middle (with the short reason after it when the file failed), sizes, and the status
// with its symbol, spinner or progress bar. Double-clicking a failed row shows the whole
// reason. A row's context menu ends with "Delete", which removes that file from the batch.
class BatchListView : public QTableView {
    Q_OBJECT

public:
    // `columnWidths` are the fixed widths of the columns after the file name, in order.
    BatchListView(ToolDriver* driver, BatchListModel* model, const QList<int>& columnWidths,
                  QWidget* parent = nullptr);

    [[nodiscard]] BatchListModel* listModel() const { return m_model; }
    // The menu a row offers (exposed so that it can be driven without a mouse).
    [[nodiscard]] QMenu* contextMenuForRow(int row);
    [[nodiscard]] int spinnerPhase() const { return m_spinnerPhase; }
    // Shows the whole failure (or warning) text of `row`; false when it has none.
    bool showDetails(int row);
    // The details message while it is shown.
    [[nodiscard]] QWidget* detailsAlert() const { return m_details; }

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;
    // Files dropped on the list join it, as on the drop zone.
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    // Actions a tool offers above "Delete".
    virtual void addRowActions(QMenu* menu, ImageItem* item);

private:
    void updateSpinner();

    QPointer<ToolDriver> m_driver;
    BatchListModel* m_model = nullptr;
    QTimer* m_spinnerTimer = nullptr;
    int m_spinnerPhase = 0;
    QPointer<QWidget> m_details;
};

} // namespace glintwork
