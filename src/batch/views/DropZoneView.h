#pragma once

#include <QList>
#include <QUrl>
#include <QWidget>

#include "platform/TabKind.h"

class QPushButton;

namespace glintwork {

// The large zone a tool shows while its list is empty: drop files or folders on it, or
// pick files with "Select Files". Every tool uses it with its own tab.
class DropZoneView : public QWidget {
    Q_OBJECT

public:
    explicit DropZoneView(TabKind tab, QWidget* parent = nullptr);

    [[nodiscard]] TabKind tab() const { return m_tab; }
    [[nodiscard]] bool isTargeted() const { return m_isTargeted; }
    [[nodiscard]] QPushButton* selectFilesButton() const { return m_selectFiles; }

Q_SIGNALS:
    // One call per dropped file, and one call for all the files picked in the dialog.
    void filesAdded(const QList<QUrl>& urls);

protected:
    void paintEvent(QPaintEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void setTargeted(bool targeted);
    void showFileImporter();
    void applyTextColors();

    TabKind m_tab;
    bool m_isTargeted = false;
    QPushButton* m_selectFiles = nullptr;
    QList<QWidget*> m_secondaryTexts;
    QList<QWidget*> m_tertiaryTexts;
};

// The slim drop target at the top of a tool's settings bar, for adding to a list that
// already has files. Clicking it does nothing.
class CompactDropZoneView : public QWidget {
    Q_OBJECT

public:
    explicit CompactDropZoneView(TabKind tab, QWidget* parent = nullptr);

    [[nodiscard]] bool isTargeted() const { return m_isTargeted; }

Q_SIGNALS:
    void filesAdded(const QList<QUrl>& urls);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void setTargeted(bool targeted);

    TabKind m_tab;
    bool m_isTargeted = false;
};

} // namespace glintwork
