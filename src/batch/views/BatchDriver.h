#pragma once

#include <optional>

#include <QObject>
#include <QPointer>
#include <QUrl>

#include "batch/ImageItem.h"
#include "batch/ToolDriver.h"

namespace glintwork {

// What the list, the summary and the action bar need of a tool's batch driver: its
// notifications, one more for any item's status, and its operations, while the driver
// lives. The driver stays the owner of everything; this object only holds a guarded pointer
// to it.
class BatchDriver : public QObject {
    Q_OBJECT

public:
    static BatchDriver* bind(ToolDriver* driver, QObject* parent);

    [[nodiscard]] QObject* driver() const { return m_driver; }
    [[nodiscard]] const ItemList& items() const;
    [[nodiscard]] bool isRunning() const { return m_driver && m_driver->isRunning(); }
    [[nodiscard]] bool isCancelling() const { return m_driver && m_driver->isCancelling(); }
    [[nodiscard]] bool canStart() const { return m_driver && m_driver->canStart(); }
    [[nodiscard]] bool anyCompleted() const;
    [[nodiscard]] int completedCount() const;
    [[nodiscard]] std::optional<QUrl> outputFolderToOpen() const;

    void addFiles(const QList<QUrl>& urls);
    void start();
    void cancel();
    void clearItems();
    void removeItem(const ImageItem* item);
    void loadSettings();
    // Called when the view that shows the driver goes away: a running batch is finished
    // by the driver on its own (which then releases itself); returns false when the
    // driver was idle and may go with its view.
    bool retireWhileRunning();

Q_SIGNALS:
    void itemsChanged();
    void intakeProblems(const QList<IntakeProblem>& problems);
    void settingsChanged();
    void isRunningChanged();
    void isCancellingChanged();
    // Some item's status or output size changed (many may change within one moment).
    void itemOutcomeChanged();
    void announcement(const QString& text);
    void runFinished(bool cancelled);

private:
    BatchDriver(ToolDriver* driver, QObject* parent);
    void watchItems();

    QPointer<ToolDriver> m_driver;
    QList<QMetaObject::Connection> m_itemConnections;
};

} // namespace glintwork
