#pragma once

#include <QMainWindow>

#include "app/UpdateChecker.h"

class QAction;

namespace glintwork {

class RootView;
class SharedOutputSettings;

// The one window: the application menu with "Check for Updates…", and the root view.
class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    MainWindow(SharedOutputSettings* outputSettings, UpdateChecker* updateChecker,
               QWidget* parent = nullptr);

    [[nodiscard]] RootView* rootView() const { return m_root; }
    [[nodiscard]] QAction* checkForUpdatesAction() const { return m_checkForUpdates; }

private:
    void showUpdateResult(const UpdateChecker::Result& result);

    RootView* m_root = nullptr;
    UpdateChecker* m_updateChecker = nullptr;
    QAction* m_checkForUpdates = nullptr;
};

} // namespace glintwork
