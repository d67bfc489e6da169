#include "batch/views/StatusCell.h"

#include <algorithm>

#include <QCoreApplication>
#include <QFontMetrics>
#include <QPainter>
#include <QPalette>

#include "batch/views/Symbols.h"
#include "platform/views/TabStyle.h"

namespace glintwork {

QString statusText(ConversionStatus::Kind kind, const QString& processingText) {
    switch (kind) {
    case ConversionStatus::Kind::waiting:
        return QCoreApplication::translate("StatusCell", "Waiting");
    case ConversionStatus::Kind::processing:
        return processingText;
    case ConversionStatus::Kind::completed:
        return QCoreApplication::translate("StatusCell", "Done");
    case ConversionStatus::Kind::cancelled:
        return QCoreApplication::translate("StatusCell", "Cancelled");
    case ConversionStatus::Kind::error:
        return QCoreApplication::translate("StatusCell", "Error");
    }
    return {};
}

void paintStatusCell(QPainter* painter, const QRect& rect, ConversionStatus::Kind kind,
                     const QString& text, const QPalette& palette, int spinnerPhase) {
    constexpr int kSymbolSize = 12;
    constexpr int kGap = 4;
    const qreal ratio = painter->device()->devicePixelRatioF();
    QPixmap symbol;
    QColor textColor = palette.color(QPalette::Text);
    switch (kind) {
    case ConversionStatus::Kind::waiting:
        textColor = secondaryTextColor(palette);
        break;
    case ConversionStatus::Kind::processing:
        symbol = spinnerFrame(spinnerPhase, secondaryTextColor(palette), kSymbolSize, ratio);
        break;
    case ConversionStatus::Kind::completed:
        symbol = statusBadge(Symbol::completed, successColor(), kSymbolSize, ratio);
        break;
    case ConversionStatus::Kind::cancelled:
        symbol = statusBadge(Symbol::cancelled, secondaryTextColor(palette), kSymbolSize, ratio);
        break;
    case ConversionStatus::Kind::error:
        symbol = statusBadge(Symbol::failed, failureColor(), kSymbolSize, ratio);
        break;
    }
    const QFontMetrics metrics(painter->font());
    const int symbolWidth = symbol.isNull() ? 0 : kSymbolSize + (text.isEmpty() ? 0 : kGap);
    const int available = std::max(0, rect.width() - symbolWidth - 4);
    const QString shown = metrics.elidedText(text, Qt::ElideRight, available);
    const int total = symbolWidth + metrics.horizontalAdvance(shown);
    int x = rect.x() + std::max(2, (rect.width() - total) / 2);
    if (!symbol.isNull()) {
        painter->drawPixmap(QPoint(x, rect.center().y() - kSymbolSize / 2 + 1), symbol);
        x += symbolWidth;
    }
    painter->save();
    painter->setPen(textColor);
    painter->drawText(QRect(x, rect.y(), rect.right() - x, rect.height()),
                      Qt::AlignVCenter | Qt::AlignLeft, shown);
    painter->restore();
}

void paintProgressBar(QPainter* painter, const QRect& rect, double fraction,
                      const QPalette& palette) {
    constexpr int kHeight = 6;
    const int width = std::min(rect.width() - 16, 80);
    if (width <= 0)
        return;
    const QRectF track(rect.x() + (rect.width() - width) / 2.0,
                       rect.center().y() - kHeight / 2.0 + 1, width, kHeight);
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setPen(Qt::NoPen);
    QColor trackColor = palette.color(QPalette::WindowText);
    trackColor.setAlphaF(0.12F);
    painter->setBrush(trackColor);
    painter->drawRoundedRect(track, kHeight / 2.0, kHeight / 2.0);
    const double filled = std::clamp(fraction, 0.0, 1.0) * track.width();
    if (filled > 0) {
        painter->setBrush(palette.color(QPalette::Highlight));
        painter->drawRoundedRect(QRectF(track.topLeft(), QSizeF(std::max(filled, double(kHeight)),
                                                                track.height())),
                                 kHeight / 2.0, kHeight / 2.0);
    }
    painter->restore();
}

} // namespace glintwork
