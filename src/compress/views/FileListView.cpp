#include "compress/views/FileListView.h"

#include <QContextMenuEvent>
#include <QHeaderView>
#include <QMenu>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QTimer>

#include "batch/FileService.h"
#include "batch/views/SizeChange.h"
#include "batch/views/StatusCell.h"
#include "compress/ConversionViewModel.h"
#include "compress/views/FileListModel.h"

namespace glintwork {

namespace {

// Draws the two cells that are more than one plain text: the size, whose output part is
// coloured by the change, and the status with its symbol.
class FileRowDelegate : public QStyledItemDelegate {
public:
    explicit FileRowDelegate(FileListView* view) : QStyledItemDelegate(view), m_view(view) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        if (index.column() != FileListModel::SizeColumn &&
            index.column() != FileListModel::StatusColumn &&
            index.column() != FileListModel::FileColumn) {
            QStyledItemDelegate::paint(painter, option, index);
            return;
        }
        // Background and selection as any other cell, then our own content.
        QStyleOptionViewItem background = option;
        initStyleOption(&background, index);
        background.text.clear();
        option.widget->style()->drawControl(QStyle::CE_ItemViewItem, &background, painter,
                                            option.widget);
        painter->save();
        painter->setFont(option.font);
        if (index.column() == FileListModel::FileColumn)
            paintFileName(painter, option, index);
        else if (index.column() == FileListModel::StatusColumn)
            paintStatus(painter, option, index);
        else
            paintSize(painter, option, index);
        painter->restore();
    }

private:
    // The name keeps off the window's edge like the rest of the layout, and is shortened
    // in the middle so that both its start and its extension stay readable.
    void paintFileName(QPainter* painter, const QStyleOptionViewItem& option,
                       const QModelIndex& index) const {
        const QRect text = option.rect.adjusted(12, 0, -4, 0);
        const bool selected = option.state & QStyle::State_Selected;
        painter->setPen(option.palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
        painter->drawText(text, Qt::AlignVCenter | Qt::AlignLeft,
                          QFontMetrics(option.font).elidedText(index.data().toString(),
                                                               Qt::ElideMiddle, text.width()));
    }

    void paintStatus(QPainter* painter, const QStyleOptionViewItem& option,
                     const QModelIndex& index) const {
        const auto kind =
            static_cast<ConversionStatus::Kind>(index.data(FileListModel::StatusKindRole).toInt());
        paintStatusCell(painter, option.rect, kind, FileListView::tr("Converting"), option.palette,
                        m_view->spinnerPhase());
    }

    void paintSize(QPainter* painter, const QStyleOptionViewItem& option,
                   const QModelIndex& index) const {
        const qint64 original = index.data(FileListModel::OriginalSizeRole).toLongLong();
        const QVariant compressedValue = index.data(FileListModel::CompressedSizeRole);
        const QFontMetrics metrics(option.font);
        const QString originalText = FileService::formatByteCount(original);
        if (!compressedValue.isValid()) {
            painter->setPen(option.palette.color(QPalette::Text));
            painter->drawText(option.rect, Qt::AlignCenter,
                              metrics.elidedText(originalText, Qt::ElideRight, option.rect.width()));
            return;
        }
        const qint64 compressed = compressedValue.toLongLong();
        const QString arrow = QStringLiteral(" → ");
        const QString compressedText = FileService::formatByteCount(compressed);
        const int total = metrics.horizontalAdvance(originalText + arrow + compressedText);
        int x = option.rect.x() + std::max(2, (option.rect.width() - total) / 2);
        const QRect line(x, option.rect.y(), option.rect.right() - x, option.rect.height());
        painter->setPen(option.palette.color(QPalette::Text));
        painter->drawText(line, Qt::AlignVCenter | Qt::AlignLeft, originalText + arrow);
        x += metrics.horizontalAdvance(originalText + arrow);
        painter->setPen(sizeChangeColor(original, compressed, option.palette));
        painter->drawText(QRect(x, line.y(), option.rect.right() - x, line.height()),
                          Qt::AlignVCenter | Qt::AlignLeft, compressedText);
    }

    FileListView* m_view;
};

} // namespace

FileListView::FileListView(ConversionViewModel* driver, QWidget* parent)
    : QTableView(parent), m_driver(driver), m_model(new FileListModel(driver, this)),
      m_spinnerTimer(new QTimer(this)) {
    setModel(m_model);
    setItemDelegate(new FileRowDelegate(this));
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setShowGrid(false);
    setAlternatingRowColors(false);
    setWordWrap(false);
    setTextElideMode(Qt::ElideMiddle);
    setFrameShape(QFrame::NoFrame);
    // The header's first title lines up with the file names below it.
    setStyleSheet(QStringLiteral("QHeaderView::section:first { padding-left: 12px; }"));
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    verticalHeader()->hide();
    // Every row has the same height, which keeps very long lists quick to lay out.
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 12);
    QHeaderView* header = horizontalHeader();
    header->setHighlightSections(false);
    header->setSectionsClickable(false);
    header->setSectionResizeMode(FileListModel::FileColumn, QHeaderView::Stretch);
    const std::array<std::pair<int, int>, 4> widths{{{FileListModel::ConvertColumn, 100},
                                                    {FileListModel::SizeColumn, 180},
                                                    {FileListModel::RatioColumn, 60},
                                                    {FileListModel::StatusColumn, 110}}};
    for (const auto& [column, width] : widths) {
        header->setSectionResizeMode(column, QHeaderView::Fixed);
        header->resizeSection(column, width);
    }
    QFont caption = header->font();
    caption.setPointSizeF(caption.pointSizeF() * 0.9);
    header->setFont(caption);

    m_spinnerTimer->setInterval(80);
    connect(m_spinnerTimer, &QTimer::timeout, this, [this] {
        ++m_spinnerPhase;
        // Only the status column moves.
        const int x = columnViewportPosition(FileListModel::StatusColumn);
        viewport()->update(QRect(x, 0, columnWidth(FileListModel::StatusColumn),
                                 viewport()->height()));
    });
    connect(driver, &ConversionViewModel::isConvertingChanged, this, &FileListView::updateSpinner);
    updateSpinner();
}

void FileListView::updateSpinner() {
    if (m_driver && m_driver->isConverting())
        m_spinnerTimer->start();
    else
        m_spinnerTimer->stop();
}

QMenu* FileListView::contextMenuForRow(int row) {
    ImageItem* item = m_model->itemAt(row);
    if (!item)
        return nullptr;
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    const QPointer<ImageItem> target(item);
    menu->addAction(tr("Delete"), this, [this, target] {
        if (m_driver && target)
            m_driver->removeItem(target);
    });
    return menu;
}

void FileListView::contextMenuEvent(QContextMenuEvent* event) {
    const QModelIndex index = indexAt(viewport()->mapFromGlobal(event->globalPos()));
    if (!index.isValid())
        return;
    if (QMenu* menu = contextMenuForRow(index.row()))
        menu->popup(event->globalPos());
}

} // namespace glintwork
