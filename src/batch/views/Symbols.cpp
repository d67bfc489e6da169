#include "batch/views/Symbols.h"

#include <array>

#include <QApplication>
#include <QPainter>
#include <QStyle>

namespace glintwork {

namespace {

struct SymbolSource {
    // Names to try in order: themes differ in which they draw as a simple shape.
    std::array<const char*, 2> themeNames;
    QStyle::StandardPixmap fallback;
};

SymbolSource sourceOf(Symbol symbol) {
    switch (symbol) {
    case Symbol::compressTool:
        return {{"emblem-package", "package-x-generic"}, QStyle::SP_DriveHDIcon};
    case Symbol::cutoutTool:
        return {{"edit-cut"}, QStyle::SP_DialogDiscardButton};
    case Symbol::upscaleTool:
        return {{"starred"}, QStyle::SP_DialogYesButton};
    case Symbol::addFiles:
        return {{"list-add"}, QStyle::SP_FileDialogNewFolder};
    case Symbol::completed:
        return {{"emblem-default"}, QStyle::SP_DialogApplyButton};
    case Symbol::cancelled:
        return {{"process-stop"}, QStyle::SP_DialogCancelButton};
    case Symbol::failed:
        return {{"dialog-warning"}, QStyle::SP_MessageBoxWarning};
    case Symbol::settings:
        return {{"emblem-system", "preferences-system"}, QStyle::SP_FileDialogDetailedView};
    case Symbol::fileCount:
        return {{"text-x-generic"}, QStyle::SP_FileIcon};
    }
    return {{"image-x-generic"}, QStyle::SP_FileIcon};
}

} // namespace

QIcon symbolIcon(Symbol symbol) {
    const SymbolSource source = sourceOf(symbol);
    for (const char* name : source.themeNames) {
        if (!name)
            break;
        QIcon icon = QIcon::fromTheme(QString::fromLatin1(name));
        if (!icon.isNull())
            return icon;
    }
    return QApplication::style()->standardIcon(source.fallback);
}

QPixmap tintedSymbol(Symbol symbol, const QColor& color, int size, qreal devicePixelRatio) {
    const int device = qRound(size * devicePixelRatio);
    QPixmap pixmap = symbolIcon(symbol).pixmap(QSize(device, device));
    if (pixmap.isNull())
        return pixmap;
    // Small theme icons are scaled up rather than left tiny inside a large frame.
    if (pixmap.width() < device)
        pixmap = pixmap.scaled(device, device, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    pixmap.setDevicePixelRatio(1.0);
    QPainter painter(&pixmap);
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    painter.fillRect(pixmap.rect(), color);
    painter.end();
    pixmap.setDevicePixelRatio(devicePixelRatio);
    return pixmap;
}

QPixmap statusBadge(Symbol symbol, const QColor& color, int size, qreal devicePixelRatio) {
    if (symbol != Symbol::completed && symbol != Symbol::cancelled && symbol != Symbol::failed)
        return tintedSymbol(symbol, color, size, devicePixelRatio);
    QPixmap pixmap(QSize(size, size) * devicePixelRatio);
    pixmap.setDevicePixelRatio(devicePixelRatio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const double s = size;
    painter.setPen(Qt::NoPen);
    painter.setBrush(color);
    QPen mark(Qt::white, std::max(1.2, s / 8.0), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    if (symbol == Symbol::failed) {
        const QPointF corners[3] = {{s / 2, 0.5}, {s - 0.5, s - 0.8}, {0.5, s - 0.8}};
        painter.drawPolygon(corners, 3);
        painter.setPen(mark);
        painter.drawLine(QPointF(s / 2, s * 0.36), QPointF(s / 2, s * 0.62));
        painter.drawPoint(QPointF(s / 2, s * 0.79));
        return pixmap;
    }
    painter.drawEllipse(QRectF(0.5, 0.5, s - 1, s - 1));
    painter.setPen(mark);
    if (symbol == Symbol::completed) {
        const QPointF tick[3] = {{s * 0.28, s * 0.52}, {s * 0.44, s * 0.68}, {s * 0.72, s * 0.36}};
        painter.drawPolyline(tick, 3);
    } else {
        painter.drawLine(QPointF(s * 0.3, s / 2), QPointF(s * 0.7, s / 2));
    }
    return pixmap;
}

QPixmap spinnerFrame(int phase, const QColor& color, int size, qreal devicePixelRatio) {
    QPixmap pixmap(QSize(size, size) * devicePixelRatio);
    pixmap.setDevicePixelRatio(devicePixelRatio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(size / 2.0, size / 2.0);
    constexpr int kSpokes = 12;
    const double outer = size / 2.0 - 0.5;
    const double inner = outer * 0.45;
    for (int i = 0; i < kSpokes; ++i) {
        // The spoke at the leading edge is darkest; the ones behind it fade out.
        const int age = ((phase - i) % kSpokes + kSpokes) % kSpokes;
        QColor spoke = color;
        spoke.setAlphaF(static_cast<float>(1.0 - age * 0.07));
        QPen pen(spoke, std::max(1.0, size / 9.0), Qt::SolidLine, Qt::RoundCap);
        painter.setPen(pen);
        painter.save();
        painter.rotate(i * 360.0 / kSpokes);
        painter.drawLine(QPointF(0, -inner), QPointF(0, -outer));
        painter.restore();
    }
    return pixmap;
}

} // namespace glintwork
