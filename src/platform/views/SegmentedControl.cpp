#include "platform/views/SegmentedControl.h"

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QToolButton>

namespace glintwork {

SegmentedControl::SegmentedControl(const QStringList& labels, QWidget* parent)
    : QWidget(parent), m_group(new QButtonGroup(this)) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    m_group->setExclusive(true);
    for (int i = 0; i < labels.size(); ++i) {
        auto* button = new QToolButton(this);
        button->setText(labels[i]);
        button->setCheckable(true);
        button->setToolButtonStyle(Qt::ToolButtonTextOnly);
        button->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
        const char* position = labels.size() == 1 ? "only"
                               : i == 0           ? "first"
                               : i == labels.size() - 1 ? "last"
                                                        : "middle";
        button->setProperty("segment", QString::fromLatin1(position));
        m_group->addButton(button, i);
        layout->addWidget(button);
    }
    setStyleSheet(QStringLiteral(
        "QToolButton { border: 1px solid palette(mid); border-left-width: 0px;"
        " background: palette(button); padding: 3px 14px; }"
        "QToolButton[segment=\"first\"], QToolButton[segment=\"only\"] { border-left-width: 1px;"
        " border-top-left-radius: 6px; border-bottom-left-radius: 6px; }"
        "QToolButton[segment=\"last\"], QToolButton[segment=\"only\"] {"
        " border-top-right-radius: 6px; border-bottom-right-radius: 6px; }"
        "QToolButton:checked { background: palette(highlight); color: palette(highlighted-text); }"));
    if (auto* first = m_group->button(0))
        first->setChecked(true);
    connect(m_group, &QButtonGroup::idClicked, this, [this](int id) {
        if (id == m_current)
            return;
        m_current = id;
        Q_EMIT currentIndexChanged(id);
    });
}

int SegmentedControl::currentIndex() const {
    return m_current;
}

void SegmentedControl::setCurrentIndex(int index) {
    if (auto* button = m_group->button(index)) {
        m_current = index;
        button->setChecked(true);
    }
}

QAbstractButton* SegmentedControl::segment(int index) const {
    return m_group->button(index);
}

int SegmentedControl::count() const {
    return static_cast<int>(m_group->buttons().size());
}

} // namespace glintwork
