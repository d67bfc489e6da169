#pragma once

#include <QColor>
#include <QPalette>

#include "platform/TabKind.h"

namespace glintwork {

// Each tool's own colour, so a glance at a drop zone tells which tab receives the files.
[[nodiscard]] QColor tabColor(TabKind tab);

// Text styles shared by every tool view: labels that explain, and captions that merely hint.
[[nodiscard]] QColor secondaryTextColor(const QPalette& palette);
[[nodiscard]] QColor tertiaryTextColor(const QPalette& palette);

// The colours a size change is shown in: clearly smaller, about the same, clearly larger.
[[nodiscard]] QColor successColor();
[[nodiscard]] QColor warningColor();
[[nodiscard]] QColor failureColor();

} // namespace glintwork
