#include "platform/TabKind.h"

#include <QCoreApplication>

namespace glintwork {

QString keyword(TabKind tab) {
    switch (tab) {
    case TabKind::compress:
        return QStringLiteral("compress");
    case TabKind::cutout:
        return QStringLiteral("cutout");
    case TabKind::upscale:
        return QStringLiteral("upscale");
    }
    return {};
}

QString displayName(TabKind tab) {
    switch (tab) {
    case TabKind::compress:
        return QCoreApplication::translate("TabKind", "Compress");
    case TabKind::cutout:
        return QCoreApplication::translate("TabKind", "Cutout");
    case TabKind::upscale:
        return QCoreApplication::translate("TabKind", "Upscale");
    }
    return {};
}

QString preferenceKey(TabKind tab, const char* name) {
    return QStringLiteral("glintwork.") + keyword(tab) + QLatin1Char('.') + QLatin1String(name);
}

} // namespace glintwork
