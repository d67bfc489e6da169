#pragma once

#include <QColor>
#include <QString>

#include "batch/ConversionStatus.h"

class QPainter;
class QPalette;
class QRect;

namespace glintwork {

// How an item's status reads in a list row, for every tool. `processingText` is the
// tool's own word for work in progress ("Converting" for compress).
[[nodiscard]] QString statusText(ConversionStatus::Kind kind, const QString& processingText);

// Symbol and text of a status, centred in `rect`; a processing item shows the spinner
// frame `spinnerPhase`.
void paintStatusCell(QPainter* painter, const QRect& rect, ConversionStatus::Kind kind,
                     const QString& processingText, const QPalette& palette, int spinnerPhase);

} // namespace glintwork
