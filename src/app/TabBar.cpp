#include "app/TabBar.h"

#include "app/RootViewModel.h"

namespace glintwork {

namespace {

QStringList tabNames() {
    QStringList names;
    for (TabKind tab : kAllTabKinds)
        names.append(displayName(tab));
    return names;
}

} // namespace

TabBar::TabBar(RootViewModel* model, QWidget* parent) : SegmentedControl(tabNames(), parent) {
    setAccessibleName(tr("Tab"));
    setCurrentIndex(static_cast<int>(model->activeTab()));
    connect(this, &SegmentedControl::currentIndexChanged, model, [model](int index) {
        model->setActiveTab(kAllTabKinds.at(static_cast<size_t>(index)));
    });
    connect(model, &RootViewModel::activeTabChanged, this,
            [this](TabKind tab) { setCurrentIndex(static_cast<int>(tab)); });
}

} // namespace glintwork
