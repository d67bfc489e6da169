#include "app/RootViewModel.h"

#include "platform/SharedOutputSettings.h"

namespace glintwork {

RootViewModel::RootViewModel(SharedOutputSettings* outputSettings, QObject* parent)
    : QObject(parent), m_outputSettings(outputSettings) {}

void RootViewModel::setActiveTab(TabKind tab) {
    if (m_activeTab == tab)
        return;
    m_activeTab = tab;
    Q_EMIT activeTabChanged(tab);
}

} // namespace glintwork
