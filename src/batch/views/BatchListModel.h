#pragma once

#include <functional>
#include <initializer_list>
#include <optional>

#include <QAbstractTableModel>
#include <QHash>
#include <QList>
#include <QPointer>

#include "batch/ConversionStatus.h"
#include "batch/ImageItem.h"
#include "batch/ToolDriver.h"

namespace glintwork {

// A tool's list as a table over its driver's items. Rows follow the driver's list; a change
// in one item redraws only its cells, so thousands of items stay cheap. Each tool picks its
// columns and says how its Convert column reads.
class BatchListModel : public QAbstractTableModel {
    Q_OBJECT

public:
    enum class Column { file, convert, size, ratio, status };
    // How the Status column shows an item: the symbol and its word, or (upscale) the
    // symbol alone once done. Either shows a progress bar while the work reports its share.
    enum class StatusStyle { labelled, progress };
    enum Role {
        StatusKindRole = Qt::UserRole + 1,
        OriginalSizeRole,
        // An absent output size reads as an invalid QVariant.
        CompressedSizeRole,
        ProgressRole,
        // A failed file's reason, short enough for its row; empty otherwise.
        ShortReasonRole,
    };

    struct Layout {
        QList<Column> columns;
        // The tool's Convert text for an item, read from the settings chosen now.
        std::function<QString(const ImageItem&)> convertText;
        // The tool's word for an item being worked on ("Converting", "Processing", …).
        QString processingText;
        StatusStyle statusStyle = StatusStyle::labelled;
        // Convert in the secondary text colour rather than the normal one.
        bool secondaryConvertText = false;
        // Size shows the output's size after the input's (compress); otherwise the input's
        // size alone.
        bool showsOutputSize = false;
        // The tool's own Size text for an item (upscale: pixels), instead of bytes.
        std::function<QString(const ImageItem&)> sizeText;
    };

    BatchListModel(ToolDriver* driver, Layout layout, QObject* parent = nullptr);

    [[nodiscard]] int rowCount(const QModelIndex& parent = {}) const override;
    [[nodiscard]] int columnCount(const QModelIndex& parent = {}) const override;
    [[nodiscard]] QVariant data(const QModelIndex& index, int role) const override;
    [[nodiscard]] QVariant headerData(int section, Qt::Orientation orientation,
                                      int role) const override;

    [[nodiscard]] ImageItem* itemAt(int row) const;
    [[nodiscard]] Column columnKind(int section) const { return m_layout.columns.at(section); }
    // The section of a column, or -1 when this list has no such column.
    [[nodiscard]] int section(Column column) const {
        return static_cast<int>(m_layout.columns.indexOf(column));
    }
    [[nodiscard]] StatusStyle statusStyle() const { return m_layout.statusStyle; }
    [[nodiscard]] bool hasOwnSizeText() const { return bool(m_layout.sizeText); }

    // The part of a failure text that fits a row: up to the first ": " that leaves the
    // particulars behind, else its first line.
    [[nodiscard]] static QString shortReason(const QString& message);

    // The words a status reads as: what a screen reader says, and what the cell shows.
    [[nodiscard]] QString statusLabel(const ImageItem& item) const;
    [[nodiscard]] QString statusCellText(const ImageItem& item) const;

private:
    [[nodiscard]] std::optional<qint64> outputSize(const ImageItem& item) const;
    void insertItems(int first, int count);
    void removeItems(int first, int count);
    void itemChanged(const ImageItem* item, ToolDriver::ItemChange change);
    // The cells of `row` in those of `columns` this list shows.
    void columnsChanged(int row, std::initializer_list<Column> columns);
    void numberRowsFrom(int first);

    QPointer<ToolDriver> m_driver;
    Layout m_layout;
    // The rows as the views know them: the driver's list as of its last notification.
    ItemList m_items;
    QHash<const ImageItem*, int> m_rows;
};

} // namespace glintwork
