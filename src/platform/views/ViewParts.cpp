#include "platform/views/ViewParts.h"

#include <QComboBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>

#include "platform/views/TabStyle.h"

namespace glintwork {

namespace {

QLabel* styledLabel(const QString& text, QWidget* parent, const QColor& color, double scale) {
    auto* label = new QLabel(text, parent);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, color);
    label->setPalette(palette);
    if (scale != 1.0) {
        QFont font = label->font();
        font.setPointSizeF(font.pointSizeF() * scale);
        label->setFont(font);
    }
    return label;
}

} // namespace

QLabel* secondaryLabel(const QString& text, QWidget* parent, double scale) {
    return styledLabel(text, parent, secondaryTextColor(parent->palette()), scale);
}

QLabel* tertiaryCaption(const QString& text, QWidget* parent) {
    return styledLabel(text, parent, tertiaryTextColor(parent->palette()), 0.8);
}

QComboBox* menuPicker(const QStringList& labels, QWidget* parent, int width) {
    auto* picker = new QComboBox(parent);
    picker->addItems(labels);
    picker->setFixedWidth(width);
    return picker;
}

void addLabelledControl(QHBoxLayout* row, const QString& label, QWidget* control) {
    row->addWidget(secondaryLabel(label, control->parentWidget()));
    control->setAccessibleName(label);
    row->addWidget(control);
}

void addGroupDivider(QHBoxLayout* row, QWidget* parent) {
    row->addSpacing(14);
    row->addWidget(verticalDivider(parent));
    row->addSpacing(14);
}

QFrame* horizontalDivider(QWidget* parent) {
    auto* line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}

QFrame* verticalDivider(QWidget* parent, int height) {
    auto* line = new QFrame(parent);
    line->setFrameShape(QFrame::VLine);
    line->setFrameShadow(QFrame::Sunken);
    line->setFixedHeight(height);
    return line;
}

QString wrappingToolTip(const QString& text) {
    // Qt wraps a tooltip only when it is rich text.
    return QStringLiteral("<p>") + text.toHtmlEscaped() + QStringLiteral("</p>");
}

} // namespace glintwork
