#include "batch/views/DropZoneView.h"

#include <QDragEnterEvent>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QVBoxLayout>

#include "batch/views/FileDrop.h"
#include "batch/views/Symbols.h"
#include "platform/views/TabStyle.h"

namespace glintwork {

namespace {

Symbol symbolOf(TabKind tab) {
    switch (tab) {
    case TabKind::compress:
        return Symbol::compressTool;
    case TabKind::cutout:
        return Symbol::cutoutTool;
    case TabKind::upscale:
        return Symbol::upscaleTool;
    }
    return Symbol::compressTool;
}

void setTextColor(QWidget* widget, const QColor& color) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, color);
    widget->setPalette(palette);
}

QFont scaledFont(const QFont& base, double factor, QFont::Weight weight = QFont::Normal) {
    QFont font = base;
    font.setPointSizeF(base.pointSizeF() * factor);
    font.setWeight(weight);
    return font;
}

// Accepts a drag only when it carries files, so the zone lights up for nothing else.
template <typename Event> bool acceptFiles(Event* event) {
    if (droppedFileUrls(event->mimeData()).isEmpty()) {
        event->ignore();
        return false;
    }
    event->acceptProposedAction();
    return true;
}

} // namespace

DropZoneView::DropZoneView(TabKind tab, QWidget* parent) : QWidget(parent), m_tab(tab) {
    setAcceptDrops(true);
    setAccessibleName(tr("Drop image files here"));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(40, 40, 40, 40);
    layout->setSpacing(16);
    layout->addStretch(1);

    auto* symbol = new QLabel(this);
    symbol->setPixmap(tintedSymbol(symbolOf(tab), tabColor(tab), 56, devicePixelRatioF()));
    symbol->setAlignment(Qt::AlignCenter);
    symbol->setAccessibleName(QString());
    layout->addWidget(symbol);

    auto* title = new QLabel(tr("Drag & drop images here"), this);
    title->setFont(scaledFont(font(), 1.55));
    title->setAlignment(Qt::AlignCenter);
    layout->addWidget(title);

    auto* orText = new QLabel(tr("or"), this);
    orText->setAlignment(Qt::AlignCenter);
    m_secondaryTexts.append(orText);
    layout->addWidget(orText);

    m_selectFiles = new QPushButton(tr("Select Files"), this);
    connect(m_selectFiles, &QPushButton::clicked, this, &DropZoneView::showFileImporter);
    layout->addWidget(m_selectFiles, 0, Qt::AlignHCenter);

    auto* types = new QLabel(tr("PNG, JPEG, HEIC, WebP, AVIF, TIFF, GIF, BMP"), this);
    types->setFont(scaledFont(font(), 0.85));
    types->setAlignment(Qt::AlignCenter);
    m_tertiaryTexts.append(types);
    layout->addWidget(types);

    layout->addStretch(1);
    applyTextColors();
}

void DropZoneView::applyTextColors() {
    for (QWidget* widget : m_secondaryTexts)
        setTextColor(widget, secondaryTextColor(palette()));
    for (QWidget* widget : m_tertiaryTexts)
        setTextColor(widget, tertiaryTextColor(palette()));
}

void DropZoneView::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange && !m_secondaryTexts.isEmpty()) {
        // Recolouring children changes no palette of ours, so this does not recurse.
        applyTextColors();
    }
}

void DropZoneView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF zone = QRectF(rect()).adjusted(20, 20, -20, -20);
    QPainterPath path;
    path.addRoundedRect(zone, 12, 12);

    QColor tint = tabColor(m_tab);
    tint.setAlphaF(m_isTargeted ? 0.14F : 0.05F);
    painter.fillPath(path, tint);

    QColor stroke = tabColor(m_tab);
    stroke.setAlphaF(m_isTargeted ? 1.0F : 0.35F);
    QPen pen(stroke, 2);
    pen.setDashPattern({4, 3});
    painter.setPen(pen);
    painter.drawPath(path);
}

void DropZoneView::setTargeted(bool targeted) {
    if (m_isTargeted == targeted)
        return;
    m_isTargeted = targeted;
    update();
}

void DropZoneView::dragEnterEvent(QDragEnterEvent* event) {
    setTargeted(acceptFiles(event));
}

void DropZoneView::dragMoveEvent(QDragMoveEvent* event) {
    acceptFiles(event);
}

void DropZoneView::dragLeaveEvent(QDragLeaveEvent*) {
    setTargeted(false);
}

void DropZoneView::dropEvent(QDropEvent* event) {
    setTargeted(false);
    const QList<QUrl> urls = droppedFileUrls(event->mimeData());
    event->acceptProposedAction();
    for (const QUrl& url : urls)
        Q_EMIT filesAdded({url});
}

void DropZoneView::showFileImporter() {
    const QStringList paths =
        QFileDialog::getOpenFileNames(this, tr("Select Files"), QString(), selectFilesNameFilter());
    if (paths.isEmpty())
        return;
    QList<QUrl> urls;
    for (const QString& path : paths)
        urls.append(QUrl::fromLocalFile(path));
    Q_EMIT filesAdded(urls);
}

CompactDropZoneView::CompactDropZoneView(TabKind tab, QWidget* parent)
    : QWidget(parent), m_tab(tab) {
    setAcceptDrops(true);
    setAccessibleName(tr("Drop additional images here"));
    setCursor(Qt::PointingHandCursor);
    setToolTip(tr("Click to choose images, or drop them here"));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(12, 8, 12, 8);
    layout->setSpacing(8);
    layout->addStretch(1);
    auto* symbol = new QLabel(this);
    symbol->setPixmap(tintedSymbol(Symbol::addFiles, tabColor(tab), 18, devicePixelRatioF()));
    layout->addWidget(symbol);
    auto* text = new QLabel(tr("Add images (drag & drop)"), this);
    layout->addWidget(text);
    layout->addStretch(1);
}

void CompactDropZoneView::mouseReleaseEvent(QMouseEvent* event) {
    // Once the list has files the bar is where files are added: a click asks for them.
    if (event->button() != Qt::LeftButton || !rect().contains(event->position().toPoint()))
        return;
    const QStringList paths = QFileDialog::getOpenFileNames(this, DropZoneView::tr("Select Files"),
                                                            QString(), selectFilesNameFilter());
    QList<QUrl> urls;
    for (const QString& path : paths)
        urls.append(QUrl::fromLocalFile(path));
    if (!urls.isEmpty())
        Q_EMIT filesAdded(urls);
}

void CompactDropZoneView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath path;
    path.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 8, 8);
    QColor tint = tabColor(m_tab);
    tint.setAlphaF(m_isTargeted ? 0.22F : 0.08F);
    painter.fillPath(path, tint);
    if (m_isTargeted) {
        painter.setPen(QPen(tabColor(m_tab), 1.5));
        painter.drawPath(path);
    }
}

void CompactDropZoneView::setTargeted(bool targeted) {
    if (m_isTargeted == targeted)
        return;
    m_isTargeted = targeted;
    update();
}

void CompactDropZoneView::dragEnterEvent(QDragEnterEvent* event) {
    setTargeted(acceptFiles(event));
}

void CompactDropZoneView::dragMoveEvent(QDragMoveEvent* event) {
    acceptFiles(event);
}

void CompactDropZoneView::dragLeaveEvent(QDragLeaveEvent*) {
    setTargeted(false);
}

void CompactDropZoneView::dropEvent(QDropEvent* event) {
    setTargeted(false);
    const QList<QUrl> urls = droppedFileUrls(event->mimeData());
    event->acceptProposedAction();
    for (const QUrl& url : urls)
        Q_EMIT filesAdded({url});
}

} // namespace glintwork
