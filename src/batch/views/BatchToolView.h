#pragma once

#include <QPointer>
#include <QWidget>

#include "batch/FileService.h"
#include "batch/ToolDriver.h"
#include "platform/TabKind.h"

class QFrame;
class QLabel;
class QPushButton;
class QStackedLayout;
class QTimer;
class QVBoxLayout;

namespace glintwork {

class BatchListView;
class DropZoneView;

// What the three tool tabs have in common: the large drop zone while the list is empty,
// otherwise the tool's settings bar (locked while a run goes), its list, the summary
// (once a file is done) and the action bar with "Open in File Manager", "Clear" and the
// start/cancel button. Return starts a run and Escape cancels it, wherever the focus is
// in the window, except that Return in a text field stays there and Return on a failed
// row opens its details. A run still going when the view is destroyed is finished by the
// driver on its own.
class BatchToolView : public QWidget {
    Q_OBJECT

public:
    ~BatchToolView() override;

    [[nodiscard]] ToolDriver* toolDriver() const { return m_batch; }
    [[nodiscard]] DropZoneView* dropZone() const { return m_dropZone; }
    [[nodiscard]] QPushButton* openFolderButton() const { return m_openFolder; }
    [[nodiscard]] QPushButton* clearButton() const { return m_clear; }
    [[nodiscard]] QPushButton* startButton() const { return m_start; }
    [[nodiscard]] QPushButton* cancelButton() const { return m_cancel; }
    [[nodiscard]] BatchListView* listView() const { return m_list; }
    // "All files are done — …" while every file is done and none can run again.
    [[nodiscard]] QLabel* doneHint() const { return m_doneHint; }
    // True while the list is shown rather than the large drop zone.
    [[nodiscard]] bool isShowingList() const;

    // What the window's menu asks of the tab in front.
    void openOutputFolder();
    void selectAll();
    // Removes the selected rows, except those being worked on.
    void removeSelected();
    // The message offered when no file manager opens a folder, while it is shown.
    [[nodiscard]] QWidget* noFileManagerAlert() const { return m_noFileManager; }

    // Opens a folder in the desktop's file manager; false when none is registered.
    // Replaceable for tests.
    static inline bool (*openFolder)(const QUrl& folder) = nullptr;

protected:
    BatchToolView(TabKind tab, QWidget* parent);

    // Builds the tab around the tool's parts, which become children of the list page.
    // `startText` labels the start button ("Start Conversion", …).
    void assemble(ToolDriver* batch, QWidget* settingsBar, BatchListView* list, QWidget* summary,
                  const QString& startText);
    [[nodiscard]] QWidget* listPage() const { return m_listPage; }

    void showEvent(QShowEvent* event) override;

private:
    QWidget* buildActionBar(const QString& startText);
    void refresh();
    // One message for everything a drop could not add; a drop of many files arrives as
    // many deliveries, so they are gathered for a moment first.
    void noteIntakeProblems(const QList<IntakeProblem>& problems);
    void showIntakeProblems();
    void startIfPossible();
    void cancelIfPossible();
    void updateCancelSpinner();
    void lockSettings(bool locked);

    QPointer<ToolDriver> m_batch;
    QStackedLayout* m_stack = nullptr;
    DropZoneView* m_dropZone = nullptr;
    QWidget* m_listPage = nullptr;
    QWidget* m_settingsBar = nullptr;
    BatchListView* m_list = nullptr;
    QLabel* m_doneHint = nullptr;
    QString m_startText;
    QPointer<QWidget> m_noFileManager;
    QFrame* m_summaryDivider = nullptr;
    QWidget* m_summary = nullptr;
    QPushButton* m_openFolder = nullptr;
    QPushButton* m_clear = nullptr;
    QPushButton* m_start = nullptr;
    QPushButton* m_cancel = nullptr;
    QTimer* m_cancelSpinner = nullptr;
    QTimer* m_intakeProblemsDelay = nullptr;
    QList<IntakeProblem> m_intakeProblems;
    int m_spinnerPhase = 0;
};

} // namespace glintwork
