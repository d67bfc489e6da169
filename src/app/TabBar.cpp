#include "app/TabBar.h"

#include <QAbstractButton>
#include <QKeySequence>

#include "app/ToolSelection.h"

namespace glintwork {

namespace {

QStringList tabNames() {
    QStringList names;
    for (TabKind tab : kAllTabKinds)
        names.append(displayName(tab));
    return names;
}

int indexOf(TabKind tab) {
    return static_cast<int>(tab);
}

} // namespace

TabBar::TabBar(ToolSelection* selection, QWidget* parent) : SegmentedControl(tabNames(), parent) {
    setAccessibleName(tr("Tab"));
    setCurrentIndex(indexOf(selection->activeTab()));
    for (TabKind tab : kAllTabKinds) {
        const QKeySequence shortcut(Qt::CTRL | Qt::Key(Qt::Key_1 + indexOf(tab)));
        segment(indexOf(tab))
            ->setToolTip(
                tr("%1 (%2)").arg(displayName(tab), shortcut.toString(QKeySequence::NativeText)));
    }
    connect(this, &SegmentedControl::currentIndexChanged, selection, [selection](int index) {
        selection->setActiveTab(kAllTabKinds.at(static_cast<size_t>(index)));
    });
    connect(selection, &ToolSelection::activeTabChanged, this,
            [this](TabKind tab) { setCurrentIndex(indexOf(tab)); });
}

void TabBar::setRunning(TabKind tab, bool running) {
    QAbstractButton* button = segment(indexOf(tab));
    button->setText(running ? displayName(tab) + QStringLiteral(" ●") : displayName(tab));
    button->setAccessibleDescription(running ? tr("Running") : QString());
}

bool TabBar::isMarkedRunning(TabKind tab) const {
    return segment(indexOf(tab))->text() != displayName(tab);
}

} // namespace glintwork
