#pragma once

#include <QWidget>

class QFrame;
class QPushButton;
class QStackedLayout;
class QTimer;

namespace glintwork {

class CompressSettingsBar;
class ConversionViewModel;
class DropZoneView;
class FileListView;
class SharedOutputSettings;
class SummaryView;

// The compress tab. It owns the tab's driver for as long as it lives (a run still going
// when the tab is left is finished by the driver on its own), shows the large drop zone
// while the list is empty, and otherwise the settings, the list, the summary and the
// action bar.
class CompressView : public QWidget {
    Q_OBJECT

public:
    explicit CompressView(SharedOutputSettings* outputSettings, QWidget* parent = nullptr);
    ~CompressView() override;

    [[nodiscard]] ConversionViewModel* driver() const { return m_driver; }
    [[nodiscard]] DropZoneView* dropZone() const { return m_dropZone; }
    [[nodiscard]] CompressSettingsBar* settingsBar() const { return m_settingsBar; }
    [[nodiscard]] FileListView* fileList() const { return m_fileList; }
    [[nodiscard]] SummaryView* summary() const { return m_summary; }
    [[nodiscard]] QPushButton* openFolderButton() const { return m_openFolder; }
    [[nodiscard]] QPushButton* clearButton() const { return m_clear; }
    [[nodiscard]] QPushButton* startButton() const { return m_start; }
    [[nodiscard]] QPushButton* cancelButton() const { return m_cancel; }
    // True while the list is shown rather than the large drop zone.
    [[nodiscard]] bool isShowingList() const;

protected:
    void showEvent(QShowEvent* event) override;

private:
    QWidget* buildActionBar();
    void refresh();
    void watchItems();
    void startIfPossible();
    void cancelIfPossible();
    void updateCancelSpinner();

    ConversionViewModel* m_driver = nullptr;
    QStackedLayout* m_stack = nullptr;
    DropZoneView* m_dropZone = nullptr;
    QWidget* m_listPage = nullptr;
    CompressSettingsBar* m_settingsBar = nullptr;
    FileListView* m_fileList = nullptr;
    QFrame* m_summaryDivider = nullptr;
    SummaryView* m_summary = nullptr;
    QPushButton* m_openFolder = nullptr;
    QPushButton* m_clear = nullptr;
    QPushButton* m_start = nullptr;
    QPushButton* m_cancel = nullptr;
    QTimer* m_cancelSpinner = nullptr;
    int m_spinnerPhase = 0;
    QList<QMetaObject::Connection> m_itemConnections;
};

} // namespace glintwork
