#pragma once

#include <QAbstractTableModel>
#include <QHash>
#include <QList>
#include <QMetaObject>
#include <QPointer>

namespace glintwork {

class ConversionViewModel;
class ImageItem;

// The compress list as a table over the driver's items. Rows follow the driver's list;
// a change in one item redraws only its row, so thousands of items stay cheap.
class FileListModel : public QAbstractTableModel {
    Q_OBJECT

public:
    enum Column { FileColumn, ConvertColumn, SizeColumn, RatioColumn, StatusColumn, ColumnCount };
    enum Role {
        StatusKindRole = Qt::UserRole + 1,
        OriginalSizeRole,
        // An absent output size reads as an invalid QVariant.
        CompressedSizeRole,
    };

    explicit FileListModel(ConversionViewModel* driver, QObject* parent = nullptr);
    ~FileListModel() override;

    [[nodiscard]] int rowCount(const QModelIndex& parent = {}) const override;
    [[nodiscard]] int columnCount(const QModelIndex& parent = {}) const override;
    [[nodiscard]] QVariant data(const QModelIndex& index, int role) const override;
    [[nodiscard]] QVariant headerData(int section, Qt::Orientation orientation,
                                      int role) const override;

    [[nodiscard]] ImageItem* itemAt(int row) const;

private:
    void reload();
    void itemChanged(const ImageItem* item, int firstColumn, int lastColumn);

    QPointer<ConversionViewModel> m_driver;
    QHash<const ImageItem*, int> m_rows;
    QList<QMetaObject::Connection> m_itemConnections;
};

} // namespace glintwork
