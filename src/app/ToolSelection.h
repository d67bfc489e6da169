#pragma once

#include <QObject>
#include <QPointer>

#include "platform/TabKind.h"
#include "platform/SharedOutputSettings.h"

namespace glintwork {

// Which tool the window shows. Always starts on compress; never stored.
class ToolSelection : public QObject {
    Q_OBJECT

public:
    explicit ToolSelection(SharedOutputSettings* outputSettings, QObject* parent = nullptr);

    [[nodiscard]] TabKind activeTab() const { return m_activeTab; }
    void setActiveTab(TabKind tab);
    [[nodiscard]] SharedOutputSettings* outputSettings() const { return m_outputSettings; }

Q_SIGNALS:
    void activeTabChanged(TabKind tab);

private:
    TabKind m_activeTab = TabKind::compress;
    QPointer<SharedOutputSettings> m_outputSettings;
};

} // namespace glintwork
