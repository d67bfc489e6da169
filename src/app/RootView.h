#pragma once

#include <memory>

#include <QPointer>
#include <QWidget>

#include "app/AppSettingsView.h"
#include "platform/TabKind.h"

class QToolButton;
class QVBoxLayout;

namespace glintwork {

class RootViewModel;
class SharedOutputSettings;
class TabBar;

// The window's content: the header with the tab bar and the settings button, and below
// it the active tool. Leaving a tab discards that tool's view with its driver and list;
// the output folder lives on in the shared settings.
class RootView : public QWidget {
    Q_OBJECT

public:
    explicit RootView(SharedOutputSettings* outputSettings, QWidget* parent = nullptr);
    ~RootView() override;

    [[nodiscard]] RootViewModel* model() const { return m_model; }
    [[nodiscard]] TabBar* tabBar() const { return m_tabBar; }
    [[nodiscard]] QToolButton* settingsButton() const { return m_settingsButton; }
    [[nodiscard]] QWidget* toolView() const { return m_toolView.get(); }
    // The settings sheet while it is shown.
    [[nodiscard]] AppSettingsView* settingsSheet() const { return m_settingsSheet; }

    void showSettings();

private:
    void showTool(TabKind tab);

    RootViewModel* m_model = nullptr;
    TabBar* m_tabBar = nullptr;
    QToolButton* m_settingsButton = nullptr;
    QVBoxLayout* m_toolArea = nullptr;
    std::unique_ptr<QWidget> m_toolView;
    QPointer<AppSettingsView> m_settingsSheet;
};

} // namespace glintwork
