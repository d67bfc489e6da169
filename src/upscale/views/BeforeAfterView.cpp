#include "upscale/views/BeforeAfterView.h"

#include <algorithm>

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

namespace glintwork {

BeforeAfterView::BeforeAfterView(QImage before, QImage after, QWidget* parent)
    : QWidget(parent), m_before(std::move(before)), m_after(std::move(after)) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    setCursor(Qt::SplitHCursor);
    setFocusPolicy(Qt::StrongFocus);
    setAccessibleName(tr("Before and after"));
    setAccessibleDescription(tr("Drag to compare — left: original, right: upscaled"));
}

void BeforeAfterView::setSliderX(double fraction) {
    const double clamped = std::clamp(fraction, 0.0, 1.0);
    if (clamped == m_sliderX)
        return;
    m_sliderX = clamped;
    update();
    Q_EMIT sliderXChanged(m_sliderX);
}

QRectF BeforeAfterView::fittedRect(const QSizeF& size, const QRectF& bounds) {
    if (size.isEmpty() || bounds.isEmpty())
        return {};
    const QSizeF fitted = size.scaled(bounds.size(), Qt::KeepAspectRatio);
    return {bounds.x() + (bounds.width() - fitted.width()) / 2.0,
            bounds.y() + (bounds.height() - fitted.height()) / 2.0, fitted.width(), fitted.height()};
}

void BeforeAfterView::dragTo(double x) {
    if (width() > 0)
        setSliderX(x / width());
}

void BeforeAfterView::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        dragTo(event->position().x());
}

void BeforeAfterView::mouseMoveEvent(QMouseEvent* event) {
    if (event->buttons() & Qt::LeftButton)
        dragTo(event->position().x());
}

void BeforeAfterView::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Left:
        setSliderX(m_sliderX - 0.05);
        break;
    case Qt::Key_Right:
        setSliderX(m_sliderX + 0.05);
        break;
    case Qt::Key_Home:
        setSliderX(0.0);
        break;
    case Qt::Key_End:
        setSliderX(1.0);
        break;
    default:
        QWidget::keyPressEvent(event);
    }
}

void BeforeAfterView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const QRectF bounds = rect();
    painter.drawImage(fittedRect(m_after.size(), bounds), m_after);

    const double dividerX = bounds.width() * m_sliderX;
    painter.save();
    painter.setClipRect(QRectF(0, 0, dividerX, bounds.height()));
    painter.drawImage(fittedRect(m_before.size(), bounds), m_before);
    painter.restore();

    // A white line with a soft dark shadow stays visible over light and dark pictures.
    painter.setPen(Qt::NoPen);
    for (int spread = 3; spread >= 1; --spread) {
        painter.setBrush(QColor(0, 0, 0, 84 / (spread + 1)));
        painter.drawRect(QRectF(dividerX - 1 - spread, 0, 2 + 2 * spread, bounds.height()));
    }
    painter.setBrush(Qt::white);
    painter.drawRect(QRectF(dividerX - 1, 0, 2, bounds.height()));

    paintLabel(painter, tr("Before"), Qt::AlignLeft | Qt::AlignVCenter);
    paintLabel(painter, tr("After"), Qt::AlignRight | Qt::AlignVCenter);
}

void BeforeAfterView::paintLabel(QPainter& painter, const QString& text,
                                 Qt::Alignment alignment) const {
    QFont font = this->font();
    font.setPointSizeF(font.pointSizeF() * 0.8);
    font.setWeight(QFont::Medium);
    const QFontMetricsF metrics(font);
    const QSizeF capsule(metrics.horizontalAdvance(text) + 16, metrics.height() + 6);
    const QRectF inset = QRectF(rect()).adjusted(8, 8, -8, -8);
    const double x = (alignment & Qt::AlignLeft) ? inset.left() : inset.right() - capsule.width();
    const QRectF box(QPointF(x, inset.center().y() - capsule.height() / 2), capsule);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0, 0, 0, 140));
    painter.drawRoundedRect(box, capsule.height() / 2, capsule.height() / 2);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(box, Qt::AlignCenter, text);
    painter.restore();
}

} // namespace glintwork
