#include "batch/views/BatchToolView.h"

#include <algorithm>

#include <QAbstractSpinBox>
#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QFrame>
#include <QHBoxLayout>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QShortcut>
#include <QShowEvent>
#include <QStackedLayout>
#include <QTimer>
#include <QVBoxLayout>

#include "batch/ToolDriver.h"
#include "batch/views/BatchListModel.h"
#include "batch/views/BatchListView.h"
#include "batch/views/CompletionSignal.h"
#include "batch/views/DropZoneView.h"
#include "batch/views/Symbols.h"
#include "platform/views/ViewParts.h"

namespace glintwork {

BatchToolView::BatchToolView(TabKind tab, QWidget* parent)
    : QWidget(parent), m_cancelSpinner(new QTimer(this)) {
    m_stack = new QStackedLayout(this);
    m_dropZone = new DropZoneView(tab, this);
    m_stack->addWidget(m_dropZone);
    m_listPage = new QWidget(this);
    m_stack->addWidget(m_listPage);
}

BatchToolView::~BatchToolView() {
    // A running batch goes on without the view: its driver leaves the view for the
    // application and releases itself when the run is over.
    ToolDriver* driver = m_batch;
    if (!driver || !driver->isRunning())
        return;
    driver->disconnect(this);
    driver->setParent(QCoreApplication::instance());
    connect(driver, &ToolDriver::runFinished, driver, [driver](bool cancelled) {
        if (!cancelled)
            signalBatchCompletion(nullptr);
        driver->deleteLater();
    });
    connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, driver,
            [driver] { driver->cancel(); });
}

void BatchToolView::assemble(ToolDriver* batch, QWidget* settingsBar, BatchListView* list,
                             QWidget* summary, const QString& startText) {
    m_batch = batch;
    m_settingsBar = settingsBar;
    m_list = list;
    m_startText = startText;
    connect(m_dropZone, &DropZoneView::filesAdded, batch, &ToolDriver::addFilesInBackground);

    auto* column = new QVBoxLayout(m_listPage);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(settingsBar);
    column->addWidget(horizontalDivider(m_listPage));
    column->addWidget(list, 1);
    m_summaryDivider = horizontalDivider(m_listPage);
    column->addWidget(m_summaryDivider);
    m_summary = summary;
    column->addWidget(summary);
    column->addWidget(horizontalDivider(m_listPage));
    column->addWidget(buildActionBar(startText));

    // Return and Escape act wherever the focus is in the window, like default and
    // cancel buttons.
    for (auto key : {Qt::Key_Return, Qt::Key_Enter}) {
        auto* shortcut = new QShortcut(QKeySequence(key), this);
        shortcut->setContext(Qt::WindowShortcut);
        connect(shortcut, &QShortcut::activated, this, &BatchToolView::startIfPossible);
    }
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    escape->setContext(Qt::WindowShortcut);
    connect(escape, &QShortcut::activated, this, &BatchToolView::cancelIfPossible);

    connect(batch, &ToolDriver::itemsChanged, this, &BatchToolView::refresh);
    connect(batch, &ToolDriver::intakeProblems, this, &BatchToolView::noteIntakeProblems);
    m_intakeProblemsDelay = new QTimer(this);
    m_intakeProblemsDelay->setSingleShot(true);
    m_intakeProblemsDelay->setInterval(250);
    connect(m_intakeProblemsDelay, &QTimer::timeout, this, &BatchToolView::showIntakeProblems);
    connect(batch, &ToolDriver::itemOutcomeChanged, this, &BatchToolView::refresh);
    connect(batch, &ToolDriver::isRunningChanged, this, &BatchToolView::refresh);
    connect(batch, &ToolDriver::isCancellingChanged, this, &BatchToolView::refresh);
    connect(batch, &ToolDriver::announcement, this, [this](const QString& text) {
        // Screen readers announce an alert raised on the control the user just pressed.
        m_cancel->setAccessibleDescription(text);
        QAccessibleEvent alert(m_cancel, QAccessible::Alert);
        QAccessible::updateAccessibility(&alert);
    });
    connect(batch, &ToolDriver::runFinished, this, [this](bool cancelled) {
        if (!cancelled)
            signalBatchCompletion(window());
    });
    // Quitting stops the run; what was half written is removed by the pipeline.
    connect(qApp, &QCoreApplication::aboutToQuit, batch, &ToolDriver::cancel);

    m_cancelSpinner->setInterval(80);
    connect(m_cancelSpinner, &QTimer::timeout, this, [this] {
        ++m_spinnerPhase;
        updateCancelSpinner();
    });
    refresh();
}

void BatchToolView::noteIntakeProblems(const QList<IntakeProblem>& problems) {
    m_intakeProblems += problems;
    m_intakeProblemsDelay->start();
}

void BatchToolView::showIntakeProblems() {
    if (m_intakeProblems.isEmpty())
        return;
    constexpr int kListed = 12;
    QStringList lines;
    for (qsizetype i = 0; i < m_intakeProblems.size() && i < kListed; ++i) {
        const IntakeProblem& problem = m_intakeProblems[i];
        lines << tr("%1: %2").arg(problem.url.toLocalFile(), problem.message);
    }
    if (m_intakeProblems.size() > kListed)
        lines << tr("and %n more", nullptr, int(m_intakeProblems.size() - kListed));
    auto* box =
        new QMessageBox(QMessageBox::Warning, tr("Some files could not be added"),
                        tr("%n item(s) could not be added:", nullptr, int(m_intakeProblems.size())),
                        QMessageBox::Ok, this);
    box->setInformativeText(lines.join(QLatin1Char('\n')));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
    m_intakeProblems.clear();
}

QWidget* BatchToolView::buildActionBar(const QString& startText) {
    auto* bar = new QWidget(m_listPage);
    auto* row = new QHBoxLayout(bar);
    row->setContentsMargins(16, 10, 16, 10);
    row->setSpacing(8);

    m_openFolder = new QPushButton(tr("Open in File Manager"), bar);
    connect(m_openFolder, &QPushButton::clicked, this, &BatchToolView::openOutputFolder);
    row->addWidget(m_openFolder);

    m_clear = new QPushButton(tr("Clear"), bar);
    connect(m_clear, &QPushButton::clicked, m_batch, &ToolDriver::clearItems);
    row->addWidget(m_clear);
    row->addStretch(1);

    m_doneHint = new QLabel(tr("All files are done — clear the list or add files"), bar);
    QPalette secondary = m_doneHint->palette();
    secondary.setColor(QPalette::WindowText, secondary.color(QPalette::PlaceholderText));
    m_doneHint->setPalette(secondary);
    m_doneHint->hide();
    row->addWidget(m_doneHint);

    m_start = new QPushButton(startText, bar);
    m_start->setDefault(true);
    m_start->setStyleSheet(QStringLiteral(
        "QPushButton { background: palette(highlight); color: palette(highlighted-text);"
        " border: none; border-radius: 5px; padding: 5px 16px; font-weight: 600; }"
        "QPushButton:disabled { background: palette(midlight); color: palette(mid); }"));
    connect(m_start, &QPushButton::clicked, this, &BatchToolView::startIfPossible);
    row->addWidget(m_start);

    m_cancel = new QPushButton(tr("Cancel"), bar);
    m_cancel->setMinimumWidth(110);
    m_cancel->setStyleSheet(QStringLiteral(
        "QPushButton { background: #d93025; color: white; border: none; border-radius: 5px;"
        " padding: 5px 16px; font-weight: 600; }"
        "QPushButton:disabled { background: #e8918a; color: white; }"));
    connect(m_cancel, &QPushButton::clicked, this, &BatchToolView::cancelIfPossible);
    row->addWidget(m_cancel);
    return bar;
}

bool BatchToolView::isShowingList() const {
    return m_stack->currentWidget() == m_listPage;
}

void BatchToolView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // Coming back on screen (not merely un-minimising) picks up settings stored meanwhile.
    if (!event->spontaneous() && m_batch)
        m_batch->loadSettings();
}

void BatchToolView::refresh() {
    if (!m_batch)
        return;
    m_stack->setCurrentWidget(m_batch->items().isEmpty() ? static_cast<QWidget*>(m_dropZone)
                                                         : m_listPage);

    const ItemList& items = m_batch->items();
    const bool running = m_batch->isRunning();
    const bool cancelling = m_batch->isCancelling();
    const bool completed = m_batch->completedCount() > 0;
    // Once anything has happened to a file (done, failed or cancelled) the summary counts it.
    const bool anyOutcome = std::ranges::any_of(items, [](const auto& item) {
        return !item->status().is(ConversionStatus::Kind::waiting);
    });
    m_summaryDivider->setVisible(running || anyOutcome);
    m_summary->setVisible(running || anyOutcome);

    const bool allDone = !items.isEmpty() && m_batch->completedCount() == items.size();
    m_openFolder->setEnabled(completed);
    m_clear->setEnabled(!running);
    m_start->setVisible(!running);
    m_start->setEnabled(m_batch->canStart());
    // A tool that converts finished files again says so; the others say what is left to do.
    m_start->setText(allDone && m_batch->canStart() ? tr("Run All Again") : m_startText);
    m_doneHint->setVisible(allDone && !running && !m_batch->canStart());
    lockSettings(running);
    m_cancel->setVisible(running);
    m_cancel->setEnabled(!cancelling);
    if (cancelling && !m_cancelSpinner->isActive())
        m_cancelSpinner->start();
    else if (!cancelling)
        m_cancelSpinner->stop();
    updateCancelSpinner();
}

void BatchToolView::updateCancelSpinner() {
    if (m_batch && m_batch->isCancelling()) {
        m_cancel->setText(tr("Cancelling…"));
        m_cancel->setIcon(QIcon(spinnerFrame(m_spinnerPhase, Qt::white, 14, devicePixelRatioF())));
    } else {
        m_cancel->setText(tr("Cancel"));
        m_cancel->setIcon(QIcon());
    }
}

void BatchToolView::lockSettings(bool locked) {
    // The whole bar, so that what the bar itself turned off stays off afterwards; files
    // can still be dropped on the list or added from the menu while a run goes.
    if (m_settingsBar)
        m_settingsBar->setEnabled(!locked);
}

void BatchToolView::startIfPossible() {
    QWidget* focus = QApplication::focusWidget();
    // Return confirms what was typed; it does not start a run from under the typing.
    if (qobject_cast<QLineEdit*>(focus) || qobject_cast<QAbstractSpinBox*>(focus))
        return;
    if (m_list && focus == m_list) {
        const QModelIndex current = m_list->currentIndex();
        if (current.isValid() && m_list->selectionModel()->isRowSelected(current.row(), {}) &&
            m_list->showDetails(current.row()))
            return;
    }
    if (!m_batch || !isShowingList() || m_batch->isRunning() || !m_batch->canStart())
        return;
    m_batch->start();
}

void BatchToolView::openOutputFolder() {
    const auto folder = m_batch ? m_batch->outputFolderToOpen() : std::nullopt;
    if (!folder)
        return;
    const bool opened = openFolder ? openFolder(*folder) : QDesktopServices::openUrl(*folder);
    if (opened)
        return;
    const QString path = folder->toLocalFile();
    auto* box = new QMessageBox(QMessageBox::Information, tr("No File Manager"),
                                tr("No file manager is set up to open folders."),
                                QMessageBox::NoButton, this);
    box->setInformativeText(tr("The output folder is %1").arg(path));
    box->setTextInteractionFlags(Qt::TextSelectableByMouse);
    QPushButton* copy = box->addButton(tr("Copy Path"), QMessageBox::AcceptRole);
    box->addButton(tr("Close"), QMessageBox::RejectRole);
    connect(copy, &QPushButton::clicked, this,
            [path] { QGuiApplication::clipboard()->setText(path); });
    box->setAttribute(Qt::WA_DeleteOnClose);
    m_noFileManager = box;
    box->open();
}

void BatchToolView::selectAll() {
    if (m_list && isShowingList())
        m_list->selectAll();
}

void BatchToolView::removeSelected() {
    if (!m_list || !m_batch || !isShowingList())
        return;
    QList<QPointer<ImageItem>> chosen;
    for (const QModelIndex& row : m_list->selectionModel()->selectedRows()) {
        ImageItem* item = m_list->listModel()->itemAt(row.row());
        if (item && !item->status().is(ConversionStatus::Kind::processing))
            chosen.append(item);
    }
    // Removing one row renumbers the rest, so the items are gathered first.
    for (const auto& item : chosen) {
        if (item)
            m_batch->removeItem(item);
    }
}

void BatchToolView::cancelIfPossible() {
    if (!m_batch || !m_batch->isRunning() || m_batch->isCancelling())
        return;
    m_batch->cancel();
}

} // namespace glintwork
