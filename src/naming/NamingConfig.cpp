#include "naming/NamingConfig.h"

#include <QCoreApplication>

namespace glintwork {

QString keyword(NamingMode mode) {
    switch (mode) {
    case NamingMode::original:
        return QStringLiteral("original");
    case NamingMode::suffix:
        return QStringLiteral("suffix");
    case NamingMode::custom:
        return QStringLiteral("custom");
    }
    return {};
}

std::optional<NamingMode> namingModeFromKeyword(const QString& word) {
    for (NamingMode mode : kAllNamingModes) {
        if (keyword(mode) == word)
            return mode;
    }
    return std::nullopt;
}

QString displayName(NamingMode mode) {
    switch (mode) {
    case NamingMode::original:
        return QCoreApplication::translate("NamingMode", "Original");
    case NamingMode::suffix:
        return QCoreApplication::translate("NamingMode", "Suffix");
    case NamingMode::custom:
        return QCoreApplication::translate("NamingMode", "Custom");
    }
    return {};
}

QString sanitizeNameComponent(const QString& text) {
    QString cleaned = text;
    cleaned.replace(QLatin1Char('/'), QLatin1Char('_'));
    cleaned.replace(QLatin1Char('\\'), QLatin1Char('_'));
    cleaned.replace(QStringLiteral(".."), QStringLiteral("_"));
    return cleaned;
}

std::optional<QString> cleanedStartNumber(const QString& typed) {
    QString digits;
    for (const QChar c : typed) {
        if (c >= QLatin1Char('0') && c <= QLatin1Char('9'))
            digits.append(c);
    }
    if (digits.isEmpty())
        return std::nullopt;
    return digits.left(6);
}

NamingConfig editedNaming(NamingConfig current, const NamingConfig& entered) {
    current.mode = entered.mode;
    current.prefix = sanitizeNameComponent(entered.prefix);
    current.suffix = sanitizeNameComponent(entered.suffix);
    if (const auto start = cleanedStartNumber(entered.startNumber))
        current.startNumber = *start;
    return current;
}

} // namespace glintwork
