#pragma once

#include <QPointer>
#include <QWidget>

#include "platform/SharedOutputSettings.h"

class QPushButton;

namespace glintwork {

class ElidedLabel;


// "Output:" and where every tool writes: the shared folder, or next to each input. The
// same row sits in each tool's settings bar.
class OutputFolderRow : public QWidget {
    Q_OBJECT

public:
    explicit OutputFolderRow(SharedOutputSettings* settings, QWidget* parent = nullptr);

    [[nodiscard]] QString displayedPath() const;
    [[nodiscard]] QPushButton* changeFolderButton() const { return m_changeFolder; }
    [[nodiscard]] QPushButton* useInputFolderButton() const { return m_useInputFolder; }

    // What "Change Folder" does once the picker returned a folder; the folder becomes the
    // shared one only when it can be accessed.
    void chooseFolder(const QUrl& folder);

private:
    void refresh();
    void showDirectoryPicker();

    QPointer<SharedOutputSettings> m_settings;
    ElidedLabel* m_path = nullptr;
    QPushButton* m_changeFolder = nullptr;
    QPushButton* m_useInputFolder = nullptr;
};

} // namespace glintwork
