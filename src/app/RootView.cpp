#include "app/RootView.h"

#include <QFrame>
#include <QGridLayout>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/AppSettingsView.h"
#include "app/RootViewModel.h"
#include "app/TabBar.h"
#include "batch/views/Symbols.h"
#include "compress/views/CompressView.h"
#include "cutout/views/CutoutView.h"
#include "platform/SharedOutputSettings.h"
#include "upscale/views/UpscaleView.h"

namespace glintwork {

RootView::RootView(SharedOutputSettings* outputSettings, QWidget* parent)
    : QWidget(parent), m_model(new RootViewModel(outputSettings, this)) {
    setMinimumSize(720, 580);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    auto* header = new QWidget(this);
    auto* headerLayout = new QGridLayout(header);
    headerLayout->setContentsMargins(12, 10, 12, 6);
    m_tabBar = new TabBar(m_model, header);
    m_settingsButton = new QToolButton(header);
    m_settingsButton->setAutoRaise(true);
    m_settingsButton->setIcon(symbolIcon(Symbol::gearshape));
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

    m_toolArea = new QVBoxLayout;
    m_toolArea->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(m_toolArea, 1);

    connect(m_model, &RootViewModel::activeTabChanged, this, &RootView::showTool);
    showTool(m_model->activeTab());
}

RootView::~RootView() = default;

void RootView::showTool(TabKind tab) {
    // The old tool goes first, so that at no moment two drivers of one tab exist.
    m_toolView.reset();
    switch (tab) {
    case TabKind::compress:
        m_toolView = std::make_unique<CompressView>(m_model->outputSettings());
        break;
    case TabKind::cutout:
        m_toolView = std::make_unique<CutoutView>(m_model->outputSettings());
        break;
    case TabKind::upscale:
        m_toolView = std::make_unique<UpscaleView>(m_model->outputSettings());
        break;
    }
    m_toolArea->addWidget(m_toolView.get());
    m_toolView->show();
}

void RootView::showSettings() {
    if (m_settingsSheet)
        return;
    m_settingsSheet = new AppSettingsView(this);
    m_settingsSheet->setAttribute(Qt::WA_DeleteOnClose);
    m_settingsSheet->open();
}

} // namespace glintwork
