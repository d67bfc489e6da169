#pragma once

#include <array>
#include <functional>

#include <QPointer>
#include <QWidget>

#include "app/AppSettingsView.h"
#include "platform/TabKind.h"

class QStackedWidget;
class QToolButton;

namespace glintwork {

class BatchToolView;
class ToolSelection;
class SharedOutputSettings;
class TabBar;

// The window's content: the header with the tab bar and the settings button, and below
// it the active tool. Each tool is made when its tab is first shown and then kept, with
// its list, its results and its run, for as long as the window lives; a tab whose run
// is going is marked in the tab bar.
class RootView : public QWidget {
    Q_OBJECT

public:
    // Shows a desktop notification: a title and one line of text.
    using Notify = std::function<void(const QString& title, const QString& body)>;

    explicit RootView(SharedOutputSettings* outputSettings, QWidget* parent = nullptr);
    ~RootView() override;

    [[nodiscard]] ToolSelection* toolSelection() const { return m_toolSelection; }
    [[nodiscard]] TabBar* tabBar() const { return m_tabBar; }
    [[nodiscard]] QToolButton* settingsButton() const { return m_settingsButton; }
    // The tool in front.
    [[nodiscard]] BatchToolView* toolView() const;
    // The tool of `tab`, made now if it was never shown.
    [[nodiscard]] BatchToolView* tool(TabKind tab);
    // The settings sheet while it is shown.
    [[nodiscard]] AppSettingsView* settingsSheet() const { return m_settingsSheet; }

    // Some tab's run is going.
    [[nodiscard]] bool isAnyRunning() const;
    void cancelAllRuns();

    // Replaces how a run that ends while the window is in the background is announced
    // (tests); the desktop's notification service otherwise.
    void setNotify(Notify notify) { m_notify = std::move(notify); }

    void showSettings();

Q_SIGNALS:
    // The tool in front, or what its list or run allows, changed.
    void toolStateChanged();

private:
    void showTool(TabKind tab);
    void updateTabMarks();
    void announceRunEnd(TabKind tab);

    ToolSelection* m_toolSelection = nullptr;
    TabBar* m_tabBar = nullptr;
    QToolButton* m_settingsButton = nullptr;
    QStackedWidget* m_tools = nullptr;
    std::array<BatchToolView*, 3> m_toolViews{};
    QPointer<AppSettingsView> m_settingsSheet;
    Notify m_notify;
};

} // namespace glintwork
