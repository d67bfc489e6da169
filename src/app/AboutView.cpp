#include "app/AboutView.h"

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "app/AcknowledgementsView.h"

namespace glintwork {

namespace {

struct Component {
    const char* name;
    const char* licence;
    const char* role;
};

// What the program bundles or runs, in the order a reader cares about: the networks and
// encoders that make its results first, then the libraries underneath. The notes in
// LICENSE-THIRD-PARTY.txt give the provenance of each.
const Component kComponents[] = {
    {"Real-ESRGAN x4plus", "BSD-3-Clause, © 2021 Xintao Wang",
     QT_TRANSLATE_NOOP("glintwork::AboutView", "General upscale network")},
    {"Real-ESRGAN x4fast", "BSD-3-Clause, © 2021 Xintao Wang",
     QT_TRANSLATE_NOOP("glintwork::AboutView", "Fast upscale network")},
    {"Real-ESRGAN x4plus-anime, animevideov3", "BSD-3-Clause, © 2021 Xintao Wang",
     QT_TRANSLATE_NOOP("glintwork::AboutView", "Anime upscale networks")},
    {"IS-Net (DIS)", "Apache-2.0, Xuebin Qin et al.",
     QT_TRANSLATE_NOOP("glintwork::AboutView", "Subject detection network for cut-outs")},
    {"cwebp (libwebp)", "BSD-3-Clause", QT_TRANSLATE_NOOP("glintwork::AboutView", "WebP encoder")},
    {"cjpeg (libjpeg-turbo)", "IJG / BSD-3-Clause",
     QT_TRANSLATE_NOOP("glintwork::AboutView", "JPEG encoder")},
    {"avifenc (libavif)", "BSD-2-Clause",
     QT_TRANSLATE_NOOP("glintwork::AboutView", "AVIF encoder")},
    {"oxipng 4.0.3", "MIT", QT_TRANSLATE_NOOP("glintwork::AboutView", "PNG optimiser")},
    {"libvips", "LGPL-2.1-or-later",
     QT_TRANSLATE_NOOP("glintwork::AboutView", "Image decoding, encoding and resampling")},
    {"oneDNN 2.6", "Apache-2.0", QT_TRANSLATE_NOOP("glintwork::AboutView", "Network inference")},
    {"OpenCV 4", "Apache-2.0 / BSD-3-Clause",
     QT_TRANSLATE_NOOP("glintwork::AboutView", "Image processing for cut-outs")},
    {"Qt 6", "LGPL-3.0", QT_TRANSLATE_NOOP("glintwork::AboutView", "User interface")},
};

} // namespace

AboutView::AboutView(QWidget* parent)
    : QDialog(parent), m_version(tr("Version %1").arg(QCoreApplication::applicationVersion())) {
    setWindowTitle(tr("About Glintwork"));
    resize(780, 460);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 16, 16, 12);

    auto* name = new QLabel(QStringLiteral("Glintwork"), this);
    QFont big = name->font();
    big.setPointSizeF(big.pointSizeF() * 1.4);
    big.setWeight(QFont::DemiBold);
    name->setFont(big);
    layout->addWidget(name);
    layout->addWidget(new QLabel(m_version, this));
    auto* intro = new QLabel(tr("Glintwork ships with these networks, encoders and libraries, each "
                                "under its own licence:"),
                             this);
    intro->setWordWrap(true);
    layout->addSpacing(8);
    layout->addWidget(intro);

    m_components = new QTreeWidget(this);
    m_components->setRootIsDecorated(false);
    m_components->setSelectionMode(QAbstractItemView::NoSelection);
    m_components->setFocusPolicy(Qt::NoFocus);
    m_components->setHeaderLabels({tr("Component"), tr("Licence"), tr("Used for")});
    for (const Component& component : kComponents) {
        new QTreeWidgetItem(m_components,
                            {QString::fromUtf8(component.name),
                             QString::fromUtf8(component.licence), tr(component.role)});
    }
    m_components->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_components->header()->setStretchLastSection(true);
    layout->addWidget(m_components, 1);

    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(tr("Close"), QDialogButtonBox::RejectRole);
    QPushButton* notes = buttons->addButton(tr("Licence Notes…"), QDialogButtonBox::ActionRole);
    connect(notes, &QPushButton::clicked, this, [this] {
        if (m_acknowledgements)
            return;
        m_acknowledgements = new AcknowledgementsView(this);
        m_acknowledgements->setAttribute(Qt::WA_DeleteOnClose);
        m_acknowledgements->open();
    });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

QString AboutView::versionText() const {
    return m_version;
}

QStringList AboutView::componentLines() const {
    QStringList lines;
    for (int i = 0; i < m_components->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = m_components->topLevelItem(i);
        lines << item->text(0) + QStringLiteral(" — ") + item->text(1);
    }
    return lines;
}

} // namespace glintwork
