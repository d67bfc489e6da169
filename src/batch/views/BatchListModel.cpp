#include "batch/views/BatchListModel.h"

#include <QApplication>
#include <QFont>
#include <QPalette>

#include "batch/views/SizeChange.h"
#include "batch/views/StatusCell.h"
#include "platform/views/TabStyle.h"
#include "platform/views/ViewParts.h"

namespace glintwork {

BatchListModel::BatchListModel(ToolDriver* driver, Layout layout, QObject* parent)
    : QAbstractTableModel(parent), m_driver(driver), m_layout(std::move(layout)) {
    connect(driver, &ToolDriver::itemsInserted, this, &BatchListModel::insertItems);
    connect(driver, &ToolDriver::itemsRemoved, this, &BatchListModel::removeItems);
    connect(driver, &ToolDriver::itemChanged, this, &BatchListModel::itemChanged);
    // The Convert column names the settings chosen now, also for rows already finished.
    connect(driver, &ToolDriver::settingsChanged, this, [this] {
        const int convert = section(Column::convert);
        if (rowCount() > 0 && convert >= 0)
            Q_EMIT dataChanged(index(0, convert), index(rowCount() - 1, convert));
    });
    m_items = driver->items();
    numberRowsFrom(0);
}

void BatchListModel::numberRowsFrom(int first) {
    for (int row = first; row < m_items.size(); ++row)
        m_rows.insert(m_items[row].get(), row);
}

void BatchListModel::insertItems(int first, int count) {
    if (!m_driver || count <= 0)
        return;
    beginInsertRows({}, first, first + count - 1);
    const ItemList& items = m_driver->items();
    m_items.insert(first, count, nullptr);
    for (int row = first; row < first + count; ++row)
        m_items[row] = items.at(row);
    numberRowsFrom(first);
    endInsertRows();
}

void BatchListModel::removeItems(int first, int count) {
    if (count <= 0)
        return;
    beginRemoveRows({}, first, first + count - 1);
    for (int row = first; row < first + count; ++row)
        m_rows.remove(m_items[row].get());
    m_items.remove(first, count);
    numberRowsFrom(first);
    endRemoveRows();
}

void BatchListModel::itemChanged(const ImageItem* item, ToolDriver::ItemChange change) {
    const auto found = m_rows.constFind(item);
    if (found == m_rows.constEnd())
        return;
    switch (change) {
    case ToolDriver::ItemChange::outcome:
        // A failure's reason shows beside the name, and a finished file's pixel size may
        // follow, so an outcome redraws the whole row.
        Q_EMIT dataChanged(index(*found, 0), index(*found, columnCount() - 1));
        break;
    case ToolDriver::ItemChange::progress:
        columnsChanged(*found, {Column::status});
        break;
    case ToolDriver::ItemChange::outputSize:
        columnsChanged(*found, {Column::size, Column::ratio});
        break;
    }
}

void BatchListModel::columnsChanged(int row, std::initializer_list<Column> columns) {
    for (Column column : columns) {
        const int at = section(column);
        if (at >= 0)
            Q_EMIT dataChanged(index(row, at), index(row, at));
    }
}

int BatchListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_items.size());
}

int BatchListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_layout.columns.size());
}

ImageItem* BatchListModel::itemAt(int row) const {
    if (row < 0 || row >= m_items.size())
        return nullptr;
    return m_items[row].get();
}

std::optional<qint64> BatchListModel::outputSize(const ImageItem& item) const {
    return m_layout.showsOutputSize ? item.compressedSize() : std::nullopt;
}

QString BatchListModel::statusLabel(const ImageItem& item) const {
    return statusText(item.status().kind(), m_layout.processingText);
}

QString BatchListModel::statusCellText(const ImageItem& item) const {
    const auto kind = item.status().kind();
    if (m_layout.statusStyle == StatusStyle::progress && kind != ConversionStatus::Kind::waiting)
        return {};
    return statusLabel(item);
}

namespace {

QFont captionFont() {
    QFont font = QApplication::font();
    font.setPointSizeF(font.pointSizeF() * 0.9);
    return font;
}

} // namespace

QVariant BatchListModel::data(const QModelIndex& index, int role) const {
    const ImageItem* item = itemAt(index.row());
    if (!item || index.column() >= m_layout.columns.size())
        return {};
    const Column column = columnKind(index.column());
    const bool failed = item->status().is(ConversionStatus::Kind::error);
    switch (role) {
    case Qt::DisplayRole:
        switch (column) {
        case Column::file:
            return item->url().fileName();
        case Column::convert:
            return m_layout.convertText ? m_layout.convertText(*item) : QString();
        case Column::size:
            if (m_layout.sizeText)
                return m_layout.sizeText(*item);
            return sizeTransitionText(item->originalSize(), outputSize(*item));
        case Column::ratio:
            return item->compressionPercentText().value_or(QStringLiteral("—"));
        case Column::status:
            return statusCellText(*item);
        }
        return {};
    case Qt::ToolTipRole:
        if (column == Column::file)
            return item->url().toLocalFile();
        if (column == Column::status && failed)
            return wrappingToolTip(item->errorMessage().value_or(item->status().errorMessage()));
        return {};
    case Qt::AccessibleTextRole:
        if (column == Column::status)
            return statusLabel(*item);
        return {};
    case Qt::AccessibleDescriptionRole:
        if (column != Column::status)
            return {};
        if (failed)
            return item->errorMessage().value_or(item->status().errorMessage());
        if (item->status().is(ConversionStatus::Kind::processing) &&
            (m_layout.statusStyle == StatusStyle::progress || item->progress() > 0)) {
            return tr("%1 percent").arg(static_cast<qint64>(item->progress() * 100.0));
        }
        return {};
    case Qt::FontRole:
        if (column == Column::convert || column == Column::size || column == Column::ratio)
            return captionFont();
        return {};
    case Qt::ForegroundRole:
        if (column == Column::ratio) {
            return sizeChangeColor(item->originalSize(), item->compressedSize(),
                                   QApplication::palette());
        }
        if (column == Column::convert && m_layout.secondaryConvertText)
            return secondaryTextColor(QApplication::palette());
        return {};
    case Qt::TextAlignmentRole:
        if (column == Column::file)
            return QVariant::fromValue(Qt::AlignVCenter | Qt::AlignLeft);
        return QVariant::fromValue(Qt::AlignCenter);
    case StatusKindRole:
        return static_cast<int>(item->status().kind());
    case OriginalSizeRole:
        return item->originalSize();
    case CompressedSizeRole:
        if (const auto size = outputSize(*item))
            return *size;
        return {};
    case ProgressRole:
        return item->progress();
    case ShortReasonRole:
        if (!failed)
            return {};
        return shortReason(item->errorMessage().value_or(item->status().errorMessage()));
    default:
        return {};
    }
}

QString BatchListModel::shortReason(const QString& message) {
    QString line = message.section(QLatin1Char('\n'), 0, 0).trimmed();
    const qsizetype colon = line.indexOf(QStringLiteral(": "));
    if (colon > 0)
        line.truncate(colon);
    return line;
}

QVariant BatchListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= m_layout.columns.size())
        return {};
    const Column column = columnKind(section);
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(column == Column::file ? Qt::AlignVCenter | Qt::AlignLeft
                                                          : Qt::AlignCenter);
    if (role != Qt::DisplayRole)
        return {};
    switch (column) {
    case Column::file:
        return tr("File");
    case Column::convert:
        return tr("Convert");
    case Column::size:
        return tr("Size");
    case Column::ratio:
        return tr("Ratio");
    case Column::status:
        return tr("Status");
    }
    return {};
}

} // namespace glintwork
