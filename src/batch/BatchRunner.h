#pragma once

#include <functional>
#include <memory>
#include <optional>

#include <QList>
#include <QObject>

class QThreadPool;

#include "batch/ImageItem.h"

namespace glintwork {

class CancellationToken;

// The walk every tool's batch shares: items are visited in list order (items appended
// during the run are picked up until the walk has passed the end), finished ones are
// skipped, at most `concurrency` jobs run on the thread pool at once, each job's outcome
// is written into its item on this object's thread, and cancellation stops the walk,
// interrupts running jobs through their token and marks what is left as cancelled.
class BatchRunner : public QObject {
    Q_OBJECT

public:
    // Runs on a pool thread; throws to fail the item (CancelledError to cancel it). The
    // returned function, if any, runs on the runner's thread to record the success before
    // the item is marked completed.
    using Job = std::function<std::function<void()>(CancellationToken& token)>;

    struct Hooks {
        // The current list, read afresh at every step.
        std::function<const ItemList&()> items;
        // Called on the runner's thread for each item it starts, after the item became
        // `processing`; `startedIndex` counts the items started in this run. Returns the
        // job, or throws to fail the item at once.
        std::function<Job(ImageItem& item, int startedIndex)> prepare;
        // Called once a job has ended, successfully or not (for example to release an
        // output name that was reserved for it).
        std::function<void(ImageItem& item)> finished;
    };

    explicit BatchRunner(QObject* parent = nullptr);
    ~BatchRunner() override;

    // Starts a run unless one is going on: failed and cancelled items go back to waiting
    // first. Returns false when a run is already in progress.
    bool start(Hooks hooks, int concurrency);
    void cancel();

    [[nodiscard]] bool isRunning() const { return m_running; }
    [[nodiscard]] bool isCancelled() const;

    // The pool every batch job runs on. It is not Qt's global pool: Qt paints with that
    // one and waits for it, so a full batch there would freeze the window.
    [[nodiscard]] static QThreadPool* threadPool();

Q_SIGNALS:
    // The run has ended: every job has returned and, when cancelled, waiting items have
    // been marked cancelled.
    void finished(bool cancelled);

private:
    void pump();
    void launch(const std::shared_ptr<ImageItem>& item, Job job);
    void jobEnded(const std::shared_ptr<ImageItem>& item, const std::function<void()>& record,
                  bool cancelled, const std::optional<QString>& error);
    void finishIfDone();

    // Lives on this object's thread for as long as a job may still post an outcome to it.
    std::shared_ptr<QObject> m_mailbox;
    Hooks m_hooks;
    std::shared_ptr<CancellationToken> m_token;
    int m_concurrency = 1;
    int m_index = 0;
    int m_started = 0;
    int m_inFlight = 0;
    bool m_walkEnded = false;
    bool m_running = false;
};

// Resets failed and cancelled items to waiting, as every new run does first.
void resetUnfinishedItems(const ItemList& items);

} // namespace glintwork
