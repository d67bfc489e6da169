#pragma once

#include <QColor>
#include <QIcon>
#include <QPixmap>

namespace glintwork {

// The symbols the interface is drawn with, named after their intent. Each maps to a
// freedesktop theme icon, with one of Qt's standard icons when the theme lacks it.
enum class Symbol {
    compressTool,
    cutoutTool,
    upscaleTool,
    addFiles,
    completed,
    cancelled,
    failed,
    settings,
    fileCount,
};

[[nodiscard]] QIcon symbolIcon(Symbol symbol);

// The symbol as a one-colour silhouette, the way tinted symbols read in the interface.
[[nodiscard]] QPixmap tintedSymbol(Symbol symbol, const QColor& color, int size,
                                   qreal devicePixelRatio = 1.0);

// The small status symbols (completed, cancelled, failed) drawn as filled badges with a white
// mark: a theme icon reduced to one colour would lose the mark inside it.
[[nodiscard]] QPixmap statusBadge(Symbol symbol, const QColor& color, int size,
                                  qreal devicePixelRatio = 1.0);

// One frame of the small spinning indicator shown while work is in progress; `phase`
// counts frames, twelve make a full turn.
[[nodiscard]] QPixmap spinnerFrame(int phase, const QColor& color, int size,
                                   qreal devicePixelRatio = 1.0);

} // namespace glintwork
