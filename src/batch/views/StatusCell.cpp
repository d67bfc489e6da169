#include "batch/views/StatusCell.h"

#include <QCoreApplication>
#include <QFontMetrics>
#include <QPainter>
#include <QPalette>

#include "batch/views/Symbols.h"
#include "batch/views/TabStyle.h"

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
                     const QString& processingText, const QPalette& palette, int spinnerPhase) {
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
        symbol = statusBadge(Symbol::checkmarkCircle, successColor(), kSymbolSize, ratio);
        break;
    case ConversionStatus::Kind::cancelled:
        symbol = statusBadge(Symbol::minusCircle, secondaryTextColor(palette), kSymbolSize, ratio);
        break;
    case ConversionStatus::Kind::error:
        symbol = statusBadge(Symbol::exclamationTriangle, failureColor(), kSymbolSize, ratio);
        break;
    }
    const QString text = statusText(kind, processingText);
    const QFontMetrics metrics(painter->font());
    const int symbolWidth = symbol.isNull() ? 0 : kSymbolSize + kGap;
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

} // namespace glintwork
