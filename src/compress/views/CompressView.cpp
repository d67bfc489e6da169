#include "compress/views/CompressView.h"

#include <QAccessible>
#include <QApplication>
#include <QDesktopServices>
#include <QFrame>
#include <QHBoxLayout>
#include <QPushButton>
#include <QShortcut>
#include <QShowEvent>
#include <QStackedLayout>
#include <QTimer>
#include <QVBoxLayout>

#include "batch/views/CompletionSignal.h"
#include "batch/views/DropZoneView.h"
#include "batch/views/RetiredDriver.h"
#include "batch/views/Symbols.h"
#include "compress/ConversionViewModel.h"
#include "compress/views/CompressSettingsBar.h"
#include "compress/views/FileListView.h"
#include "compress/views/SummaryView.h"

namespace glintwork {

namespace {

QFrame* divider(QWidget* parent) {
    auto* line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}

bool anyCompleted(const ItemList& items) {
    return std::any_of(items.begin(), items.end(), [](const auto& item) {
        return item->status().is(ConversionStatus::Kind::completed);
    });
}

} // namespace

CompressView::CompressView(SharedOutputSettings* outputSettings, QWidget* parent)
    : QWidget(parent), m_driver(new ConversionViewModel(this)), m_cancelSpinner(new QTimer(this)) {
    m_driver->setSharedOutputSettings(outputSettings);
    // The stored settings are shown from the start, not only once the view appears.
    m_driver->loadSettings();

    m_stack = new QStackedLayout(this);
    m_dropZone = new DropZoneView(TabKind::compress, this);
    connect(m_dropZone, &DropZoneView::filesAdded, m_driver, &ConversionViewModel::addFiles);
    m_stack->addWidget(m_dropZone);

    m_listPage = new QWidget(this);
    auto* column = new QVBoxLayout(m_listPage);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    m_settingsBar = new CompressSettingsBar(m_driver, m_listPage);
    column->addWidget(m_settingsBar);
    column->addWidget(divider(m_listPage));
    m_fileList = new FileListView(m_driver, m_listPage);
    column->addWidget(m_fileList, 1);
    m_summaryDivider = divider(m_listPage);
    column->addWidget(m_summaryDivider);
    m_summary = new SummaryView(m_driver, m_listPage);
    column->addWidget(m_summary);
    column->addWidget(divider(m_listPage));
    column->addWidget(buildActionBar());
    m_stack->addWidget(m_listPage);

    // Return and Escape act wherever the focus is in the window, like default and
    // cancel buttons.
    for (auto key : {Qt::Key_Return, Qt::Key_Enter}) {
        auto* shortcut = new QShortcut(QKeySequence(key), this);
        shortcut->setContext(Qt::WindowShortcut);
        connect(shortcut, &QShortcut::activated, this, &CompressView::startIfPossible);
    }
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    escape->setContext(Qt::WindowShortcut);
    connect(escape, &QShortcut::activated, this, &CompressView::cancelIfPossible);

    connect(m_driver, &ConversionViewModel::itemsChanged, this, [this] {
        watchItems();
        refresh();
    });
    connect(m_driver, &ConversionViewModel::isConvertingChanged, this, &CompressView::refresh);
    connect(m_driver, &ConversionViewModel::isCancellingChanged, this, &CompressView::refresh);
    connect(m_driver, &ConversionViewModel::announcement, this, [this](const QString& text) {
        // Screen readers announce an alert raised on the control the user just pressed.
        m_cancel->setAccessibleDescription(text);
        QAccessibleEvent alert(m_cancel, QAccessible::Alert);
        QAccessible::updateAccessibility(&alert);
    });
    connect(m_driver, &ConversionViewModel::runFinished, this, [this](bool cancelled) {
        if (!cancelled)
            signalBatchCompletion(window());
    });
    // Quitting stops the run; the converter removes what it had half written.
    connect(qApp, &QCoreApplication::aboutToQuit, m_driver, &ConversionViewModel::cancelConversion);

    m_cancelSpinner->setInterval(80);
    connect(m_cancelSpinner, &QTimer::timeout, this, [this] {
        ++m_spinnerPhase;
        updateCancelSpinner();
    });
    watchItems();
    refresh();
}

CompressView::~CompressView() {
    for (const auto& connection : m_itemConnections)
        disconnect(connection);
    // The batch goes on without the view and releases its driver when it is over.
    if (retireDriverWhileRunning(m_driver))
        m_driver = nullptr;
}

QWidget* CompressView::buildActionBar() {
    auto* bar = new QWidget(m_listPage);
    auto* row = new QHBoxLayout(bar);
    row->setContentsMargins(16, 10, 16, 10);
    row->setSpacing(8);

    m_openFolder = new QPushButton(tr("Open in File Manager"), bar);
    connect(m_openFolder, &QPushButton::clicked, this, [this] {
        if (const auto folder = m_driver->outputFolderToOpen())
            QDesktopServices::openUrl(*folder);
    });
    row->addWidget(m_openFolder);

    m_clear = new QPushButton(tr("Clear"), bar);
    connect(m_clear, &QPushButton::clicked, m_driver, &ConversionViewModel::clearItems);
    row->addWidget(m_clear);
    row->addStretch(1);

    m_start = new QPushButton(tr("Start Conversion"), bar);
    m_start->setDefault(true);
    m_start->setStyleSheet(QStringLiteral(
        "QPushButton { background: palette(highlight); color: palette(highlighted-text);"
        " border: none; border-radius: 5px; padding: 5px 16px; font-weight: 600; }"
        "QPushButton:disabled { background: palette(midlight); color: palette(mid); }"));
    connect(m_start, &QPushButton::clicked, this, &CompressView::startIfPossible);
    row->addWidget(m_start);

    m_cancel = new QPushButton(tr("Cancel"), bar);
    m_cancel->setMinimumWidth(110);
    m_cancel->setStyleSheet(QStringLiteral(
        "QPushButton { background: #d93025; color: white; border: none; border-radius: 5px;"
        " padding: 5px 16px; font-weight: 600; }"
        "QPushButton:disabled { background: #e8918a; color: white; }"));
    connect(m_cancel, &QPushButton::clicked, this, &CompressView::cancelIfPossible);
    row->addWidget(m_cancel);
    return bar;
}

bool CompressView::isShowingList() const {
    return m_stack->currentWidget() == m_listPage;
}

void CompressView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // Coming back on screen (not merely un-minimising) picks up settings stored meanwhile.
    if (!event->spontaneous())
        m_driver->loadSettings();
}

void CompressView::watchItems() {
    for (const auto& connection : m_itemConnections)
        disconnect(connection);
    m_itemConnections.clear();
    for (const auto& item : m_driver->items()) {
        m_itemConnections.append(
            connect(item.get(), &ImageItem::statusChanged, this, &CompressView::refresh));
    }
}

void CompressView::refresh() {
    const ItemList& items = m_driver->items();
    m_stack->setCurrentWidget(items.isEmpty() ? static_cast<QWidget*>(m_dropZone) : m_listPage);

    const bool completed = anyCompleted(items);
    m_summaryDivider->setVisible(completed);
    m_summary->setVisible(completed);

    const bool converting = m_driver->isConverting();
    const bool cancelling = m_driver->isCancelling();
    m_openFolder->setEnabled(completed);
    m_clear->setEnabled(!converting);
    m_start->setVisible(!converting);
    m_start->setEnabled(m_driver->canStartConversion());
    m_cancel->setVisible(converting);
    m_cancel->setEnabled(!cancelling);
    if (cancelling && !m_cancelSpinner->isActive())
        m_cancelSpinner->start();
    else if (!cancelling)
        m_cancelSpinner->stop();
    updateCancelSpinner();
}

void CompressView::updateCancelSpinner() {
    if (m_driver->isCancelling()) {
        m_cancel->setText(tr("Cancelling…"));
        m_cancel->setIcon(QIcon(spinnerFrame(m_spinnerPhase, Qt::white, 14, devicePixelRatioF())));
    } else {
        m_cancel->setText(tr("Cancel"));
        m_cancel->setIcon(QIcon());
    }
}

void CompressView::startIfPossible() {
    if (!isShowingList() || m_driver->isConverting() || !m_driver->canStartConversion())
        return;
    m_driver->startConversion();
}

void CompressView::cancelIfPossible() {
    if (!m_driver->isConverting() || m_driver->isCancelling())
        return;
    m_driver->cancelConversion();
}

} // namespace glintwork
