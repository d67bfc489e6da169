#pragma once

#include <array>

#include <QStringList>

class QComboBox;
class QFrame;
class QHBoxLayout;
class QLabel;
class QWidget;

namespace glintwork {

// Small pieces every tool view is laid out with.

// A label in the secondary text style ("Format:", hints); `scale` shrinks it to a caption.
[[nodiscard]] QLabel* secondaryLabel(const QString& text, QWidget* parent, double scale = 1.0);
// A caption in the tertiary text style, for notes under a control.
[[nodiscard]] QLabel* tertiaryCaption(const QString& text, QWidget* parent);

// A menu picker listing `labels` in order, `width` points wide.
[[nodiscard]] QComboBox* menuPicker(const QStringList& labels, QWidget* parent, int width = 100);

// The display names of every case of a settings enumeration, in order.
template <typename Enum, std::size_t N> QStringList displayNames(const std::array<Enum, N>& cases) {
    QStringList names;
    for (Enum value : cases)
        names.append(displayName(value));
    return names;
}

// "Format:" and its control in a settings row; the label also names the control for
// screen readers.
void addLabelledControl(QHBoxLayout* row, const QString& label, QWidget* control);
// The upright line that separates two groups of a settings row, with room on both sides.
void addGroupDivider(QHBoxLayout* row, QWidget* parent);

// A thin line between the sections of a tab.
[[nodiscard]] QFrame* horizontalDivider(QWidget* parent);

// `text` as a tooltip that wraps at a readable width instead of running across the screen.
[[nodiscard]] QString wrappingToolTip(const QString& text);
// A short upright line between groups of controls in one row.
[[nodiscard]] QFrame* verticalDivider(QWidget* parent, int height = 20);

} // namespace glintwork
