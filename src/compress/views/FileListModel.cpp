#include "compress/views/FileListModel.h"

#include <QApplication>
#include <QFileInfo>
#include <QPalette>

#include "batch/views/SizeChange.h"
#include "batch/views/StatusCell.h"
#include "compress/ConversionViewModel.h"

namespace glintwork {

FileListModel::FileListModel(ConversionViewModel* driver, QObject* parent)
    : QAbstractTableModel(parent), m_driver(driver) {
    connect(driver, &ConversionViewModel::itemsChanged, this, &FileListModel::reload);
    // The Convert column names the format chosen now, also for rows already converted.
    connect(driver, &ConversionViewModel::settingsChanged, this, [this] {
        if (rowCount() > 0)
            Q_EMIT dataChanged(index(0, ConvertColumn), index(rowCount() - 1, ConvertColumn));
    });
    reload();
}

FileListModel::~FileListModel() {
    for (const auto& connection : m_itemConnections)
        disconnect(connection);
}

void FileListModel::reload() {
    beginResetModel();
    for (const auto& connection : m_itemConnections)
        disconnect(connection);
    m_itemConnections.clear();
    m_rows.clear();
    if (m_driver) {
        const ItemList& items = m_driver->items();
        m_rows.reserve(items.size());
        for (int row = 0; row < items.size(); ++row) {
            const ImageItem* item = items[row].get();
            m_rows.insert(item, row);
            m_itemConnections.append(connect(item, &ImageItem::statusChanged, this, [this, item] {
                itemChanged(item, StatusColumn, StatusColumn);
            }));
            m_itemConnections.append(connect(item, &ImageItem::errorMessageChanged, this,
                                             [this, item] { itemChanged(item, StatusColumn, StatusColumn); }));
            m_itemConnections.append(connect(item, &ImageItem::compressedSizeChanged, this,
                                             [this, item] { itemChanged(item, SizeColumn, RatioColumn); }));
        }
    }
    endResetModel();
}

void FileListModel::itemChanged(const ImageItem* item, int firstColumn, int lastColumn) {
    const auto found = m_rows.constFind(item);
    if (found == m_rows.constEnd())
        return;
    Q_EMIT dataChanged(index(*found, firstColumn), index(*found, lastColumn));
}

int FileListModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid() || !m_driver)
        return 0;
    return static_cast<int>(m_rows.size());
}

int FileListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

ImageItem* FileListModel::itemAt(int row) const {
    if (!m_driver || row < 0 || row >= m_driver->items().size())
        return nullptr;
    return m_driver->items()[row].get();
}

QVariant FileListModel::data(const QModelIndex& index, int role) const {
    const ImageItem* item = itemAt(index.row());
    if (!item)
        return {};
    const QPalette palette = QApplication::palette();
    switch (role) {
    case Qt::DisplayRole:
        switch (index.column()) {
        case FileColumn:
            return item->url().fileName();
        case ConvertColumn:
            return item->inputFormat().toUpper() + QStringLiteral(" → ") +
                   displayName(m_driver->settings().outputFormat);
        case SizeColumn:
            return sizeTransitionText(item->originalSize(), item->compressedSize());
        case RatioColumn:
            return item->compressionPercentText().value_or(QStringLiteral("—"));
        case StatusColumn:
            return statusText(item->status().kind(), tr("Converting"));
        default:
            return {};
        }
    case Qt::ToolTipRole:
        if (index.column() == FileColumn)
            return item->url().toLocalFile();
        if (index.column() == StatusColumn && item->status().is(ConversionStatus::Kind::error))
            return item->errorMessage().value_or(item->status().errorMessage());
        return {};
    case Qt::ForegroundRole:
        if (index.column() == RatioColumn)
            return sizeChangeColor(item->originalSize(), item->compressedSize(), palette);
        return {};
    case Qt::TextAlignmentRole:
        if (index.column() == FileColumn)
            return QVariant::fromValue(Qt::AlignVCenter | Qt::AlignLeft);
        return QVariant::fromValue(Qt::AlignCenter);
    case StatusKindRole:
        return static_cast<int>(item->status().kind());
    case OriginalSizeRole:
        return item->originalSize();
    case CompressedSizeRole:
        if (item->compressedSize())
            return *item->compressedSize();
        return {};
    default:
        return {};
    }
}

QVariant FileListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal)
        return {};
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(section == FileColumn ? Qt::AlignVCenter | Qt::AlignLeft
                                                         : Qt::AlignCenter);
    if (role != Qt::DisplayRole)
        return {};
    switch (section) {
    case FileColumn:
        return tr("File");
    case ConvertColumn:
        return tr("Convert");
    case SizeColumn:
        return tr("Size");
    case RatioColumn:
        return tr("Ratio");
    case StatusColumn:
        return tr("Status");
    default:
        return {};
    }
}

} // namespace glintwork
