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

// The symbol of a status and `text` beside it (which may be empty), centred in `rect`; a
// processing item shows the spinner frame `spinnerPhase`.
void paintStatusCell(QPainter* painter, const QRect& rect, ConversionStatus::Kind kind,
                     const QString& text, const QPalette& palette, int spinnerPhase);

// A slim bar filled to `fraction` (0…1), centred in `rect`.
void paintProgressBar(QPainter* painter, const QRect& rect, double fraction,
                      const QPalette& palette);

} // namespace glintwork
