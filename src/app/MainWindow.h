#pragma once

#include <functional>

#include <QMainWindow>

#include "app/UpdateChecker.h"

class QAction;
class QMessageBox;

namespace glintwork {

class RootView;
class SharedOutputSettings;

// The one window: the menu bar (File, Edit, Help), Ctrl+1…3 for the tabs, and the root
// view. Closing or quitting while a run goes asks first.
class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    // Asks for files (or, with `folder`, one folder) to add; empty when the user gave up.
    using ChooseFiles = std::function<QList<QUrl>(QWidget* parent, bool folder)>;

    MainWindow(SharedOutputSettings* outputSettings, UpdateChecker* updateChecker,
               QWidget* parent = nullptr);

    [[nodiscard]] RootView* rootView() const { return m_root; }
    [[nodiscard]] QAction* checkForUpdatesAction() const { return m_checkForUpdates; }
    [[nodiscard]] QAction* addFilesAction() const { return m_addFiles; }
    [[nodiscard]] QAction* addFolderAction() const { return m_addFolder; }
    [[nodiscard]] QAction* openOutputFolderAction() const { return m_openOutputFolder; }
    [[nodiscard]] QAction* quitAction() const { return m_quit; }
    [[nodiscard]] QAction* selectAllAction() const { return m_selectAll; }
    [[nodiscard]] QAction* removeAction() const { return m_remove; }
    [[nodiscard]] QAction* clearListAction() const { return m_clearList; }
    [[nodiscard]] QAction* settingsAction() const { return m_settings; }
    [[nodiscard]] QAction* aboutAction() const { return m_about; }
    // The question asked before a running batch is cancelled, while it is shown.
    [[nodiscard]] QMessageBox* quitQuestion() const { return m_quitQuestion; }

    // Replaces the file dialogs (tests).
    void setChooseFiles(ChooseFiles choose) { m_chooseFiles = std::move(choose); }

    // True when nothing runs or the user agreed to cancel what does.
    [[nodiscard]] bool mayQuit();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildMenus();
    void updateActions();
    void addChosenFiles(bool folder);
    void showAbout();
    void showUpdateResult(const UpdateChecker::Result& result);

    RootView* m_root = nullptr;
    UpdateChecker* m_updateChecker = nullptr;
    ChooseFiles m_chooseFiles;
    QAction* m_checkForUpdates = nullptr;
    QAction* m_addFiles = nullptr;
    QAction* m_addFolder = nullptr;
    QAction* m_openOutputFolder = nullptr;
    QAction* m_quit = nullptr;
    QAction* m_selectAll = nullptr;
    QAction* m_remove = nullptr;
    QAction* m_clearList = nullptr;
    QAction* m_settings = nullptr;
    QAction* m_about = nullptr;
    QMessageBox* m_quitQuestion = nullptr;
    bool m_quitAgreed = false;
};

} // namespace glintwork
