#include "platform/views/TabStyle.h"

namespace glintwork {

QColor tabColor(TabKind tab) {
    switch (tab) {
    case TabKind::compress:
        return QColor(0x0a, 0x84, 0xff);
    case TabKind::cutout:
        return QColor(0xaf, 0x52, 0xde);
    case TabKind::upscale:
        return QColor(0xff, 0x95, 0x00);
    }
    return QColor(0x0a, 0x84, 0xff);
}

namespace {

QColor faded(const QPalette& palette, double opacity) {
    QColor color = palette.color(QPalette::WindowText);
    color.setAlphaF(static_cast<float>(opacity));
    return color;
}

} // namespace

QColor secondaryTextColor(const QPalette& palette) {
    return faded(palette, 0.62);
}

QColor tertiaryTextColor(const QPalette& palette) {
    return faded(palette, 0.42);
}

QColor successColor() {
    return QColor(0x28, 0xa7, 0x45);
}

QColor warningColor() {
    return QColor(0xe0, 0x82, 0x00);
}

QColor failureColor() {
    return QColor(0xd9, 0x30, 0x25);
}

} // namespace glintwork
