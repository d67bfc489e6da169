#include "batch/views/OutputFolderRow.h"

#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

#include "batch/views/ElidedLabel.h"
#include "platform/views/TabStyle.h"
#include "platform/SharedOutputSettings.h"

namespace glintwork {

OutputFolderRow::OutputFolderRow(SharedOutputSettings* settings, QWidget* parent)
    : QWidget(parent), m_settings(settings) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);

    auto* label = new QLabel(tr("Output:"), this);
    QPalette secondary = label->palette();
    secondary.setColor(QPalette::WindowText, secondaryTextColor(palette()));
    label->setPalette(secondary);
    layout->addWidget(label);

    m_path = new ElidedLabel(this);
    layout->addWidget(m_path, 1);

    m_changeFolder = new QPushButton(tr("Change Folder"), this);
    connect(m_changeFolder, &QPushButton::clicked, this, &OutputFolderRow::showDirectoryPicker);
    layout->addWidget(m_changeFolder);

    m_useInputFolder = new QPushButton(tr("Use Input Folder"), this);
    connect(m_useInputFolder, &QPushButton::clicked, this, [this] {
        if (m_settings)
            m_settings->setDirectory(std::nullopt);
    });
    layout->addWidget(m_useInputFolder);

    if (m_settings) {
        connect(m_settings, &SharedOutputSettings::outputDirectoryChanged, this,
                &OutputFolderRow::refresh);
    }
    refresh();
}

QString OutputFolderRow::displayedPath() const {
    return m_path->text();
}

void OutputFolderRow::refresh() {
    m_path->setText(outputDirectoryDisplayPath(m_settings));
    m_useInputFolder->setVisible(m_settings && m_settings->outputDirectory().has_value());
}

void OutputFolderRow::showDirectoryPicker() {
    const QString start = m_settings && m_settings->outputDirectory()
                              ? m_settings->outputDirectory()->toLocalFile()
                              : QString();
    const QString folder = QFileDialog::getExistingDirectory(
        this, tr("Choose Output Folder"), start, QFileDialog::ShowDirsOnly);
    if (!folder.isEmpty())
        chooseFolder(QUrl::fromLocalFile(folder));
}

void OutputFolderRow::chooseFolder(const QUrl& folder) {
    if (!m_settings)
        return;
    // A folder this user cannot write into is not taken: the previous choice stays.
    m_settings->setDirectory(folder);
}

} // namespace glintwork
