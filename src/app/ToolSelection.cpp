#include "app/ToolSelection.h"

#include "platform/SharedOutputSettings.h"

namespace glintwork {

ToolSelection::ToolSelection(SharedOutputSettings* outputSettings, QObject* parent)
    : QObject(parent), m_outputSettings(outputSettings) {}

void ToolSelection::setActiveTab(TabKind tab) {
    if (m_activeTab == tab)
        return;
    m_activeTab = tab;
    Q_EMIT activeTabChanged(tab);
}

} // namespace glintwork
