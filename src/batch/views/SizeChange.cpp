#include "batch/views/SizeChange.h"

#include <cmath>

#include <QPalette>

#include "batch/FileService.h"
#include "platform/views/TabStyle.h"

namespace glintwork {

QColor sizeChangeColor(qint64 originalSize, std::optional<qint64> outputSize,
                       const QPalette& palette) {
    if (!outputSize || originalSize <= 0)
        return secondaryTextColor(palette);
    const double saved = 1.0 - static_cast<double>(*outputSize) / static_cast<double>(originalSize);
    if (saved > 0.05)
        return successColor();
    if (saved > -0.05)
        return warningColor();
    return failureColor();
}

QString sizeTransitionText(qint64 originalSize, std::optional<qint64> outputSize) {
    QString text = FileService::formatByteCount(originalSize);
    if (outputSize)
        text += QStringLiteral(" → ") + FileService::formatByteCount(*outputSize);
    return text;
}

QString batchSavingText(qint64 totalOriginal, qint64 totalOutput) {
    const double saved =
        (1.0 - static_cast<double>(totalOutput) / static_cast<double>(totalOriginal)) * 100.0;
    // A batch that grew reads like a single file that grew: with a plus sign.
    if (saved < 0)
        return QStringLiteral("(+%1%)").arg(std::round(-saved), 0, 'f', 0);
    return QStringLiteral("(\u2212%1%)").arg(std::round(saved), 0, 'f', 0);
}

} // namespace glintwork
