#pragma once

#include <optional>

#include <QColor>
#include <QString>

class QPalette;

namespace glintwork {

// The colour of a size change: green when the output is more than 5 % smaller, orange
// within 5 %, red when it grew by 5 % or more; secondary text while nothing is known.
[[nodiscard]] QColor sizeChangeColor(qint64 originalSize, std::optional<qint64> outputSize,
                                     const QPalette& palette);

// "1.2 MB" alone, or "1.2 MB → 800 kB" once the output size is known.
[[nodiscard]] QString sizeTransitionText(qint64 originalSize, std::optional<qint64> outputSize);

// The saving of a whole batch: "(−35%)" when it shrank, "(+12%)" when it grew.
[[nodiscard]] QString batchSavingText(qint64 totalOriginal, qint64 totalOutput);

} // namespace glintwork
