#include "app/MainWindow.h"

#include <QAction>
#include <QApplication>
#include <QDesktopServices>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>

#include "app/RootView.h"
#include "app/UpdateChecker.h"

namespace glintwork {

MainWindow::MainWindow(SharedOutputSettings* outputSettings, UpdateChecker* updateChecker,
                       QWidget* parent)
    : QMainWindow(parent), m_updateChecker(updateChecker) {
    setWindowTitle(QStringLiteral("Glintwork"));
    m_root = new RootView(outputSettings, this);
    setCentralWidget(m_root);
    resize(900, 680);

    QMenu* appMenu = menuBar()->addMenu(QStringLiteral("&Glintwork"));
    m_checkForUpdates = appMenu->addAction(tr("Check for Updates…"));
    m_checkForUpdates->setMenuRole(QAction::ApplicationSpecificRole);
    m_checkForUpdates->setEnabled(updateChecker && updateChecker->canCheckForUpdates());
    if (updateChecker) {
        connect(updateChecker, &UpdateChecker::canCheckForUpdatesChanged, m_checkForUpdates,
                &QAction::setEnabled);
        connect(m_checkForUpdates, &QAction::triggered, updateChecker,
                &UpdateChecker::checkForUpdates);
        connect(updateChecker, &UpdateChecker::checkFinished, this,
                &MainWindow::showUpdateResult);
    }
    QAction* settings = appMenu->addAction(tr("Settings…"));
    settings->setShortcut(QKeySequence::Preferences);
    connect(settings, &QAction::triggered, m_root, &RootView::showSettings);
    appMenu->addSeparator();
    QAction* quit = appMenu->addAction(tr("Quit Glintwork"));
    quit->setShortcut(QKeySequence::Quit);
    quit->setMenuRole(QAction::QuitRole);
    connect(quit, &QAction::triggered, qApp, &QCoreApplication::quit);
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
        box->setInformativeText(tr("Glintwork %1 is now available; you have %2.")
                                    .arg(result.release.displayVersion,
                                         QCoreApplication::applicationVersion()));
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
        box->setInformativeText(tr("An error occurred while checking for updates: %1").arg(result.error));
        box->addButton(QMessageBox::Ok);
        break;
    }
    box->open();
}

} // namespace glintwork
