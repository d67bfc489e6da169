#include "app/RootView.h"

#include <algorithm>

#include <QFrame>
#include <QGridLayout>
#include <QStackedWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/AppSettingsView.h"
#include "app/DesktopNotification.h"
#include "app/ToolSelection.h"
#include "app/TabBar.h"
#include "batch/ToolDriver.h"
#include "batch/views/Symbols.h"
#include "compress/views/CompressView.h"
#include "cutout/views/CutoutView.h"
#include "platform/SharedOutputSettings.h"
#include "upscale/views/UpscaleView.h"

namespace glintwork {

namespace {

size_t slot(TabKind tab) {
    return static_cast<size_t>(tab);
}

// "12 files compressed, 1 failed"
QString runEndText(TabKind tab, int done, int failed) {
    QString text;
    switch (tab) {
    case TabKind::compress:
        text = RootView::tr("%n file(s) compressed", nullptr, done);
        break;
    case TabKind::cutout:
        text = RootView::tr("%n file(s) cut out", nullptr, done);
        break;
    case TabKind::upscale:
        text = RootView::tr("%n file(s) upscaled", nullptr, done);
        break;
    }
    if (failed > 0)
        text += RootView::tr(", %n failed", nullptr, failed);
    return text;
}

} // namespace

RootView::RootView(SharedOutputSettings* outputSettings, QWidget* parent)
    : QWidget(parent), m_toolSelection(new ToolSelection(outputSettings, this)),
      m_notify(sendDesktopNotification) {
    // Small enough that the window fits a 1600 × 1000 screen at twice the scale; the list
    // is what gives way.
    setMinimumSize(720, 460);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    auto* header = new QWidget(this);
    auto* headerLayout = new QGridLayout(header);
    headerLayout->setContentsMargins(12, 10, 12, 6);
    m_tabBar = new TabBar(m_toolSelection, header);
    m_settingsButton = new QToolButton(header);
    m_settingsButton->setAutoRaise(true);
    m_settingsButton->setIcon(symbolIcon(Symbol::settings));
    m_settingsButton->setIconSize(QSize(18, 18));
    m_settingsButton->setToolTip(tr("Settings"));
    m_settingsButton->setAccessibleName(tr("Settings"));
    connect(m_settingsButton, &QToolButton::clicked, this, &RootView::showSettings);
    // The tab bar sits in the middle of the window whatever the button's width.
    headerLayout->addWidget(m_tabBar, 0, 0, 1, 3, Qt::AlignHCenter);
    headerLayout->addWidget(m_settingsButton, 0, 2, Qt::AlignRight | Qt::AlignVCenter);
    headerLayout->setColumnStretch(0, 1);
    headerLayout->setColumnStretch(2, 1);
    layout->addWidget(header);

    auto* line = new QFrame(this);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    layout->addWidget(line);

    m_tools = new QStackedWidget(this);
    layout->addWidget(m_tools, 1);

    connect(m_toolSelection, &ToolSelection::activeTabChanged, this, &RootView::showTool);
    showTool(m_toolSelection->activeTab());
}

RootView::~RootView() = default;

BatchToolView* RootView::toolView() const {
    return m_toolViews[slot(m_toolSelection->activeTab())];
}

BatchToolView* RootView::tool(TabKind tab) {
    BatchToolView*& view = m_toolViews[slot(tab)];
    if (view)
        return view;
    switch (tab) {
    case TabKind::compress:
        view = new CompressView(m_toolSelection->outputSettings(), m_tools);
        break;
    case TabKind::cutout:
        view = new CutoutView(m_toolSelection->outputSettings(), m_tools);
        break;
    case TabKind::upscale:
        view = new UpscaleView(m_toolSelection->outputSettings(), m_tools);
        break;
    }
    m_tools->addWidget(view);
    ToolDriver* driver = view->toolDriver();
    for (auto change : {&ToolDriver::itemsChanged, &ToolDriver::itemOutcomeChanged,
                        &ToolDriver::isRunningChanged, &ToolDriver::isCancellingChanged})
        connect(driver, change, this, &RootView::toolStateChanged);
    connect(driver, &ToolDriver::isRunningChanged, this, &RootView::updateTabMarks);
    connect(driver, &ToolDriver::runFinished, this, [this, tab](bool cancelled) {
        if (!cancelled)
            announceRunEnd(tab);
    });
    return view;
}

void RootView::showTool(TabKind tab) {
    m_tools->setCurrentWidget(tool(tab));
    Q_EMIT toolStateChanged();
}

bool RootView::isAnyRunning() const {
    return std::ranges::any_of(m_toolViews, [](const BatchToolView* view) {
        return view && view->toolDriver() && view->toolDriver()->isRunning();
    });
}

void RootView::cancelAllRuns() {
    for (BatchToolView* view : m_toolViews) {
        if (view && view->toolDriver())
            view->toolDriver()->cancel();
    }
}

void RootView::updateTabMarks() {
    for (TabKind tab : kAllTabKinds) {
        const BatchToolView* view = m_toolViews[slot(tab)];
        m_tabBar->setRunning(tab, view && view->toolDriver() && view->toolDriver()->isRunning());
    }
}

void RootView::announceRunEnd(TabKind tab) {
    // Someone looking at the window sees the end; the sound and the taskbar's attention
    // request are the tool view's.
    if (!m_notify || window()->isActiveWindow())
        return;
    const BatchToolView* view = m_toolViews[slot(tab)];
    if (!view || !view->toolDriver())
        return;
    int done = 0;
    int failed = 0;
    for (const auto& item : view->toolDriver()->items()) {
        done += item->status().is(ConversionStatus::Kind::completed) ? 1 : 0;
        failed += item->status().is(ConversionStatus::Kind::error) ? 1 : 0;
    }
    m_notify(QStringLiteral("Glintwork"), runEndText(tab, done, failed));
}

void RootView::showSettings() {
    if (m_settingsSheet)
        return;
    m_settingsSheet = new AppSettingsView(this);
    m_settingsSheet->setAttribute(Qt::WA_DeleteOnClose);
    m_settingsSheet->open();
}

} // namespace glintwork
