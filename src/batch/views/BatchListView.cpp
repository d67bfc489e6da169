#include "batch/views/BatchListView.h"

#include <QContextMenuEvent>
#include <QDragEnterEvent>
#include <QMimeData>
#include <QHeaderView>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QTimer>

#include "batch/FileService.h"
#include "batch/ImageItem.h"
#include "batch/ToolDriver.h"
#include "batch/views/BatchListModel.h"
#include "batch/views/FileDrop.h"
#include "batch/views/SizeChange.h"
#include "batch/views/StatusCell.h"
#include "platform/views/TabStyle.h"

namespace glintwork {

namespace {

using Column = BatchListModel::Column;

// Draws the cells that are more than one plain text: the file name, the size whose output
// part is coloured by the change, and the status with its symbol or progress.
class BatchRowDelegate : public QStyledItemDelegate {
public:
    BatchRowDelegate(BatchListView* view, BatchListModel* model)
        : QStyledItemDelegate(view), m_view(view), m_model(model) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        const Column column = m_model->columnKind(index.column());
        // A tool whose size column reads in its own words (pixels) is plain text too.
        const bool plainSize = column == Column::size && m_model->hasOwnSizeText();
        if ((column != Column::file && column != Column::size && column != Column::status) ||
            plainSize) {
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
        painter->setFont(background.font);
        if (column == Column::file)
            paintFileName(painter, background, index);
        else if (column == Column::status)
            paintStatus(painter, option, index);
        else
            paintSize(painter, background, index);
        painter->restore();
    }

private:
    // The name keeps off the window's edge like the rest of the layout, and is shortened
    // in the middle so that both its start and its extension stay readable.
    // A failed file's short reason follows its name, in the failure colour, and gets what
    // the name leaves (at least 45 % of the cell).
    static void paintFileName(QPainter* painter, const QStyleOptionViewItem& option,
                              const QModelIndex& index) {
        const QRect text = option.rect.adjusted(12, 0, -4, 0);
        const bool selected = option.state & QStyle::State_Selected;
        const QFontMetrics metrics(option.font);
        const QString name = index.data().toString();
        const QString reason = index.data(BatchListModel::ShortReasonRole).toString();
        const int nameRoom = reason.isEmpty() ? text.width() : text.width() * 55 / 100;
        const QString shownName = metrics.elidedText(name, Qt::ElideMiddle, nameRoom);
        painter->setPen(
            option.palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
        painter->drawText(text, Qt::AlignVCenter | Qt::AlignLeft, shownName);
        if (reason.isEmpty())
            return;
        const int x = text.x() + metrics.horizontalAdvance(shownName + QStringLiteral("  "));
        const QRect rest(x, text.y(), text.right() - x, text.height());
        painter->setPen(selected ? option.palette.color(QPalette::HighlightedText)
                                 : failureColor());
        painter->drawText(rest, Qt::AlignVCenter | Qt::AlignLeft,
                          metrics.elidedText(reason, Qt::ElideRight, rest.width()));
    }

    void paintStatus(QPainter* painter, const QStyleOptionViewItem& option,
                     const QModelIndex& index) const {
        const auto kind =
            static_cast<ConversionStatus::Kind>(index.data(BatchListModel::StatusKindRole).toInt());
        const double progress = index.data(BatchListModel::ProgressRole).toDouble();
        // Any file whose work reports its share done shows it, with the figure.
        if (kind == ConversionStatus::Kind::processing && progress > 0) {
            // The bar, and the figure beside it for those who want to read it.
            const QString percent = BatchListView::tr("%1 %").arg(qRound(progress * 100));
            const QFontMetrics metrics(option.font);
            const int textWidth = metrics.horizontalAdvance(QStringLiteral("100 %")) + 6;
            const QRect bar = option.rect.adjusted(0, 0, -textWidth, 0);
            paintProgressBar(painter, bar, progress, option.palette);
            const bool selected = option.state & QStyle::State_Selected;
            painter->setPen(
                option.palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
            painter->drawText(QRect(bar.right(), option.rect.y(), textWidth, option.rect.height()),
                              Qt::AlignVCenter | Qt::AlignLeft, percent);
            return;
        }
        paintStatusCell(painter, option.rect, kind, index.data().toString(), option.palette,
                        m_view->spinnerPhase());
    }

    static void paintSize(QPainter* painter, const QStyleOptionViewItem& option,
                          const QModelIndex& index) {
        const qint64 original = index.data(BatchListModel::OriginalSizeRole).toLongLong();
        const QVariant compressedValue = index.data(BatchListModel::CompressedSizeRole);
        const QFontMetrics metrics(option.font);
        const bool selected = option.state & QStyle::State_Selected;
        const QColor text =
            option.palette.color(selected ? QPalette::HighlightedText : QPalette::Text);
        painter->setPen(text);
        const QString originalText = FileService::formatByteCount(original);
        if (!compressedValue.isValid()) {
            painter->drawText(
                option.rect, Qt::AlignCenter,
                metrics.elidedText(originalText, Qt::ElideRight, option.rect.width()));
            return;
        }
        const qint64 compressed = compressedValue.toLongLong();
        const QString arrow = QStringLiteral(" → ");
        const QString compressedText = FileService::formatByteCount(compressed);
        const int total = metrics.horizontalAdvance(originalText + arrow + compressedText);
        int x = option.rect.x() + std::max(2, (option.rect.width() - total) / 2);
        const QRect line(x, option.rect.y(), option.rect.right() - x, option.rect.height());
        painter->drawText(line, Qt::AlignVCenter | Qt::AlignLeft, originalText + arrow);
        x += metrics.horizontalAdvance(originalText + arrow);
        // Selected, the change keeps the highlight's text colour so that it stays readable.
        painter->setPen(selected ? text : sizeChangeColor(original, compressed, option.palette));
        painter->drawText(QRect(x, line.y(), option.rect.right() - x, line.height()),
                          Qt::AlignVCenter | Qt::AlignLeft, compressedText);
    }

    BatchListView* m_view;
    BatchListModel* m_model;
};

} // namespace

BatchListView::BatchListView(ToolDriver* driver, BatchListModel* model,
                             const QList<int>& columnWidths, QWidget* parent)
    : QTableView(parent), m_driver(driver), m_model(model), m_spinnerTimer(new QTimer(this)) {
    m_model->setParent(this);
    setModel(m_model);
    setItemDelegate(new BatchRowDelegate(this, m_model));
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setShowGrid(false);
    setAlternatingRowColors(false);
    setWordWrap(false);
    setTextElideMode(Qt::ElideMiddle);
    setFrameShape(QFrame::NoFrame);
    // Tab moves on to the next control rather than through the cells.
    setTabKeyNavigation(false);
    setAcceptDrops(true);
    setDragDropMode(QAbstractItemView::DropOnly);
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
    const int file = m_model->section(Column::file);
    int next = 0;
    for (int section = 0; section < m_model->columnCount(); ++section) {
        if (section == file) {
            header->setSectionResizeMode(section, QHeaderView::Stretch);
            continue;
        }
        header->setSectionResizeMode(section, QHeaderView::Fixed);
        if (next < columnWidths.size())
            header->resizeSection(section, columnWidths[next++]);
    }
    QFont caption = header->font();
    caption.setPointSizeF(caption.pointSizeF() * 0.9);
    header->setFont(caption);

    m_spinnerTimer->setInterval(80);
    connect(m_spinnerTimer, &QTimer::timeout, this, [this] {
        ++m_spinnerPhase;
        // Only the status column moves.
        const int status = m_model->section(Column::status);
        const int x = columnViewportPosition(status);
        viewport()->update(QRect(x, 0, columnWidth(status), viewport()->height()));
    });
    connect(driver, &ToolDriver::isRunningChanged, this, &BatchListView::updateSpinner);
    connect(this, &QAbstractItemView::doubleClicked, this,
            [this](const QModelIndex& index) { showDetails(index.row()); });
    updateSpinner();
}

bool BatchListView::showDetails(int row) {
    const ImageItem* item = m_model->itemAt(row);
    if (!item)
        return false;
    const bool failed = item->status().is(ConversionStatus::Kind::error);
    const QString message = failed ? item->errorMessage().value_or(item->status().errorMessage())
                                   : item->errorMessage().value_or(QString());
    if (message.isEmpty())
        return false;
    auto* box =
        new QMessageBox(failed ? QMessageBox::Warning : QMessageBox::Information,
                        failed ? tr("File Failed") : tr("Warning"),
                        failed ? tr("%1 could not be processed.").arg(item->url().fileName())
                               : tr("%1 was written, with a warning.").arg(item->url().fileName()),
                        QMessageBox::NoButton, this);
    box->setInformativeText(message);
    box->setDefaultButton(box->addButton(tr("OK"), QMessageBox::AcceptRole));
    box->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    box->setAttribute(Qt::WA_DeleteOnClose);
    m_details = box;
    box->open();
    return true;
}

void BatchListView::updateSpinner() {
    if (m_driver && m_driver->isRunning())
        m_spinnerTimer->start();
    else
        m_spinnerTimer->stop();
}

void BatchListView::addRowActions(QMenu*, ImageItem*) {}

QMenu* BatchListView::contextMenuForRow(int row) {
    ImageItem* item = m_model->itemAt(row);
    if (!item)
        return nullptr;
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    addRowActions(menu, item);
    const QPointer<ImageItem> target(item);
    menu->addAction(tr("Delete"), this, [this, target] {
        if (m_driver && target)
            m_driver->removeItem(target);
    });
    return menu;
}

void BatchListView::contextMenuEvent(QContextMenuEvent* event) {
    const QModelIndex index = indexAt(viewport()->mapFromGlobal(event->globalPos()));
    if (!index.isValid())
        return;
    if (QMenu* menu = contextMenuForRow(index.row()))
        menu->popup(event->globalPos());
}

void BatchListView::dragEnterEvent(QDragEnterEvent* event) {
    if (droppedFileUrls(event->mimeData()).isEmpty())
        return event->ignore();
    event->acceptProposedAction();
}

void BatchListView::dragMoveEvent(QDragMoveEvent* event) {
    if (droppedFileUrls(event->mimeData()).isEmpty())
        return event->ignore();
    event->acceptProposedAction();
}

void BatchListView::dropEvent(QDropEvent* event) {
    const QList<QUrl> urls = droppedFileUrls(event->mimeData());
    if (urls.isEmpty() || !m_driver)
        return event->ignore();
    event->acceptProposedAction();
    m_driver->addFilesInBackground(urls);
}

} // namespace glintwork
