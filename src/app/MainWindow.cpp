#include "app/MainWindow.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>

#include "app/AboutView.h"
#include "app/RootView.h"
#include "app/ToolSelection.h"
#include "app/UpdateChecker.h"
#include "batch/ToolDriver.h"
#include "batch/views/BatchToolView.h"
#include "batch/views/FileDrop.h"

namespace glintwork {

namespace {

QList<QUrl> askForFiles(QWidget* parent, bool folder) {
    if (folder) {
        const QUrl chosen =
            QFileDialog::getExistingDirectoryUrl(parent, MainWindow::tr("Add Folder"));
        return chosen.isEmpty() ? QList<QUrl>() : QList<QUrl>{chosen};
    }
    return QFileDialog::getOpenFileUrls(parent, MainWindow::tr("Add Files"), QUrl(),
                                        selectFilesNameFilter());
}

} // namespace

MainWindow::MainWindow(SharedOutputSettings* outputSettings, UpdateChecker* updateChecker,
                       QWidget* parent)
    : QMainWindow(parent), m_updateChecker(updateChecker), m_chooseFiles(askForFiles) {
    setWindowTitle(QStringLiteral("Glintwork"));
    m_root = new RootView(outputSettings, this);
    setCentralWidget(m_root);
    resize(900, 680);
    // A small or highly scaled screen gets a window that fits, with Start in reach.
    if (const QScreen* screen = this->screen())
        resize(size().boundedTo(screen->availableSize()));
    buildMenus();
    connect(m_root, &RootView::toolStateChanged, this, &MainWindow::updateActions);
    updateActions();
}

void MainWindow::buildMenus() {
    QMenu* file = menuBar()->addMenu(tr("&File"));
    m_addFiles = file->addAction(tr("Add Files…"), this, [this] { addChosenFiles(false); });
    m_addFiles->setShortcut(QKeySequence::Open);
    m_addFolder = file->addAction(tr("Add Folder…"), this, [this] { addChosenFiles(true); });
    file->addSeparator();
    m_openOutputFolder = file->addAction(tr("Open Output Folder"), this, [this] {
        if (BatchToolView* tool = m_root->toolView())
            tool->openOutputFolder();
    });
    file->addSeparator();
    m_quit = file->addAction(tr("Quit"), this, [this] {
        // The window's close asks about a running batch; agreed, the program ends.
        if (close())
            QCoreApplication::quit();
    });
    m_quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    m_quit->setMenuRole(QAction::QuitRole);

    QMenu* edit = menuBar()->addMenu(tr("&Edit"));
    m_selectAll = edit->addAction(tr("Select All"), this, [this] {
        if (BatchToolView* tool = m_root->toolView())
            tool->selectAll();
    });
    m_selectAll->setShortcut(QKeySequence::SelectAll);
    m_remove = edit->addAction(tr("Remove"), this, [this] {
        if (BatchToolView* tool = m_root->toolView())
            tool->removeSelected();
    });
    m_remove->setShortcut(QKeySequence::Delete);
    m_clearList = edit->addAction(tr("Clear List"), this, [this] {
        if (BatchToolView* tool = m_root->toolView(); tool && tool->clearButton()->isEnabled())
            tool->toolDriver()->clearItems();
    });
    edit->addSeparator();
    m_settings = edit->addAction(tr("Settings…"), m_root, &RootView::showSettings);
    m_settings->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Comma));
    m_settings->setMenuRole(QAction::PreferencesRole);

    QMenu* help = menuBar()->addMenu(tr("&Help"));
    m_checkForUpdates = help->addAction(tr("Check for Updates…"));
    m_checkForUpdates->setMenuRole(QAction::ApplicationSpecificRole);
    m_checkForUpdates->setEnabled(m_updateChecker && m_updateChecker->canCheckForUpdates());
    if (m_updateChecker) {
        connect(m_updateChecker, &UpdateChecker::canCheckForUpdatesChanged, m_checkForUpdates,
                &QAction::setEnabled);
        connect(m_checkForUpdates, &QAction::triggered, m_updateChecker,
                &UpdateChecker::checkForUpdates);
        connect(m_updateChecker, &UpdateChecker::checkFinished, this,
                &MainWindow::showUpdateResult);
    }
    help->addSeparator();
    m_about = help->addAction(tr("About Glintwork"), this, &MainWindow::showAbout);
    m_about->setMenuRole(QAction::AboutRole);

    // Ctrl+1, Ctrl+2 and Ctrl+3 bring the tabs to the front, in their order.
    for (TabKind tab : kAllTabKinds) {
        auto* action = new QAction(this);
        action->setShortcut(QKeySequence(Qt::CTRL | Qt::Key(Qt::Key_1 + static_cast<int>(tab))));
        connect(action, &QAction::triggered, this,
                [this, tab] { m_root->toolSelection()->setActiveTab(tab); });
        addAction(action);
    }
}

void MainWindow::updateActions() {
    const BatchToolView* tool = m_root->toolView();
    const ToolDriver* driver = tool ? tool->toolDriver() : nullptr;
    const bool listed = driver && !driver->items().isEmpty();
    m_openOutputFolder->setEnabled(tool && tool->openFolderButton()->isEnabled());
    m_selectAll->setEnabled(listed);
    m_remove->setEnabled(listed);
    m_clearList->setEnabled(listed && !driver->isRunning());
}

void MainWindow::addChosenFiles(bool folder) {
    BatchToolView* tool = m_root->toolView();
    if (!tool || !m_chooseFiles)
        return;
    const QList<QUrl> urls = m_chooseFiles(this, folder);
    if (!urls.isEmpty())
        tool->toolDriver()->addFilesInBackground(urls);
}

bool MainWindow::mayQuit() {
    if (m_quitAgreed || !m_root->isAnyRunning())
        return true;
    QMessageBox question(QMessageBox::Question, tr("Quit Glintwork"),
                         tr("Cancel the running batch and quit?"), QMessageBox::NoButton, this);
    question.setInformativeText(tr("Files not finished yet are not written."));
    QPushButton* quit =
        question.addButton(tr("Cancel Batch and Quit"), QMessageBox::DestructiveRole);
    QPushButton* stay = question.addButton(tr("Keep Running"), QMessageBox::RejectRole);
    question.setDefaultButton(stay);
    question.setEscapeButton(stay);
    m_quitQuestion = &question;
    question.exec();
    m_quitQuestion = nullptr;
    if (question.clickedButton() != quit)
        return false;
    m_quitAgreed = true;
    m_root->cancelAllRuns();
    return true;
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (!mayQuit()) {
        event->ignore();
        return;
    }
    QMainWindow::closeEvent(event);
}

void MainWindow::showAbout() {
    auto* about = new AboutView(this);
    about->setAttribute(Qt::WA_DeleteOnClose);
    about->open();
}

void MainWindow::showUpdateResult(const UpdateChecker::Result& result) {
    auto* box = new QMessageBox(this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    switch (result.outcome) {
    case UpdateChecker::Outcome::upToDate:
        box->setIcon(QMessageBox::Information);
        box->setText(tr("You're up to date!"));
        box->setInformativeText(tr("Glintwork %1 is currently the newest version available.")
                                    .arg(QCoreApplication::applicationVersion()));
        box->addButton(QMessageBox::Ok);
        break;
    case UpdateChecker::Outcome::updateAvailable: {
        box->setIcon(QMessageBox::Information);
        box->setText(tr("A new version of Glintwork is available!"));
        box->setInformativeText(
            tr("Glintwork %1 is now available; you have %2.")
                .arg(result.release.displayVersion, QCoreApplication::applicationVersion()));
        QPushButton* open = box->addButton(tr("Open Download Page"), QMessageBox::AcceptRole);
        box->addButton(tr("Later"), QMessageBox::RejectRole);
        const QUrl page = result.release.page;
        connect(open, &QPushButton::clicked, this, [page] {
            if (page.isValid())
                QDesktopServices::openUrl(page);
        });
        break;
    }
    case UpdateChecker::Outcome::failed:
        box->setIcon(QMessageBox::Warning);
        box->setText(tr("Update Error!"));
        box->setInformativeText(
            tr("An error occurred while checking for updates: %1").arg(result.error));
        box->addButton(QMessageBox::Ok);
        break;
    }
    box->open();
}

} // namespace glintwork
