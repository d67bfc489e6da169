#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QUrl>

#include "batch/BatchRunner.h"
#include "batch/FileOutcome.h"
#include "batch/FileService.h"
#include "batch/ImageItem.h"
#include "platform/SharedOutputSettings.h"

namespace glintwork {

class CancellationToken;

// What the three tools' batch drivers have in common: the list of items and the calls that
// change it, where outputs go, the running and cancelling states, the names handed out in a
// run and the notifications about all of these. Each tool adds its settings, its start rule
// and the request for one item, which its pipeline carries out on a worker thread.
// Lives on the main thread.
class ToolDriver : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool isCancelling READ isCancelling NOTIFY isCancellingChanged)

public:
    // Receives a file's progress as a fraction, from its worker thread.
    using Progress = std::function<void(double)>;

    ~ToolDriver() override;

    [[nodiscard]] const ItemList& items() const { return m_items; }
    [[nodiscard]] int completedCount() const;
    [[nodiscard]] bool isRunning() const { return m_isRunning; }
    [[nodiscard]] bool isCancelling() const { return m_isCancelling; }
    // Something in the list is waiting and no run is going on.
    [[nodiscard]] virtual bool canStart() const { return !m_isRunning && hasUnfinishedItems(); }
    // Starts a run over every item not completed yet, with the settings of this moment.
    void start();
    // Asks a running batch to stop; a second request while the first is under way changes
    // nothing and is not announced again.
    void cancel();
    // Replaces the settings with the stored ones (when the view comes on screen).
    virtual void loadSettings() = 0;

    [[nodiscard]] SharedOutputSettings* sharedOutputSettings() const { return m_shared; }
    void setSharedOutputSettings(SharedOutputSettings* shared);
    // Headless runs name their output folder directly instead of through the shared,
    // stored one (nothing is stored).
    void setFixedOutputDirectory(const std::optional<QUrl>& folder) {
        m_fixedOutputDirectory = folder;
    }
    // Headless runs may place single inputs elsewhere (a subfolder of the output folder that
    // mirrors where the input was found): output folder by input path; the others go where
    // the run's folder says.
    void setOutputFolders(QHash<QString, QUrl> folderByInputPath) {
        m_outputFolderByInput = std::move(folderByInputPath);
    }

    // Adds the files (and the images inside folders) of the tool's kinds not listed yet;
    // what cannot be added is reported through intakeProblems.
    void addFiles(const QList<QUrl>& urls);
    // The same, with folders searched and every file's header read on a worker thread: the
    // list changes once that is done, so a large folder never stalls the window.
    void addFilesInBackground(const QList<QUrl>& urls);
    // The same for files collected by the caller (with the tool's extensions()).
    void addIntake(const FileService::Intake& intake);
    [[nodiscard]] const QSet<QString>& extensions() const { return m_extensions; }
    void clearItems();
    void removeItem(const ImageItem* item);

    // How many files may be processed at once: `limit` when positive, else the tool's
    // default for this machine.
    void setConcurrencyLimit(int limit) { m_concurrencyLimit = limit; }
    [[nodiscard]] int concurrencyLimit() const {
        return m_concurrencyLimit > 0 ? m_concurrencyLimit : defaultConcurrency();
    }

    // The output folder, else the folder of the first item with an output.
    [[nodiscard]] std::optional<QUrl> outputFolderToOpen() const;

    // What changed in a listed item: its outcome (status or failure text), its progress, or
    // the size of what it wrote.
    enum class ItemChange { outcome, progress, outputSize };

Q_SIGNALS:
    // `count` items were listed from `first` on (at the end), or taken out from `first` on;
    // itemsChanged follows either.
    void itemsInserted(int first, int count);
    void itemsRemoved(int first, int count);
    void itemsChanged();
    // One listed item changed; an item no longer listed reports nothing.
    void itemChanged(const ImageItem* item, ToolDriver::ItemChange change);
    // Some item's status or output size changed (many may change within one moment).
    void itemOutcomeChanged();
    // Named or found inputs that could not be added, with the reason for each.
    void intakeProblems(const QList<IntakeProblem>& problems);
    void settingsChanged();
    void isRunningChanged();
    void isCancellingChanged();
    // A text for assistive technology ("Cancelling conversion").
    void announcement(const QString& text);
    // The run is over; a front end may play the completion sound when not cancelled.
    void runFinished(bool cancelled);

protected:
    // `extensions`: the lower-case file extensions the tool takes in.
    ToolDriver(const QSet<QString>& extensions, QObject* parent);

    // Where a run started now writes: the shared folder, else the fixed one; nothing means
    // beside each source.
    [[nodiscard]] std::optional<QUrl> outputFolder() const;
    // Where the output of `input` goes in a run whose folder is `runFolder`.
    [[nodiscard]] QUrl outputFolderFor(const QUrl& input,
                                       const std::optional<QUrl>& runFolder) const;
    // Some listed item is not completed yet.
    [[nodiscard]] bool hasUnfinishedItems() const;
    void setRunning(bool running);
    void setCancelling(bool cancelling);
    // `url`, or the first free variant of it that is neither on disk nor handed out earlier
    // in this run; the result counts as handed out from now on.
    [[nodiscard]] QUrl reserveOutputURL(const QUrl& url);

    // Captures what the run needs (settings, output folder) before start() begins it:
    // failed and cancelled items wait again, names handed out in an earlier run are
    // forgotten, and the waiting items go to prepare() in list order, at most
    // concurrencyLimit() at once.
    virtual void beginRun() = 0;
    // Settles which pipeline the run's jobs use, before beginRun().
    virtual void choosePipeline() = 0;
    // What is announced when a run is asked to stop ("Cancelling conversion").
    [[nodiscard]] virtual QString cancellingText() const = 0;
    // How many files the tool processes at once on this machine when no limit is set.
    [[nodiscard]] virtual int defaultConcurrency() const = 0;
    // This machine's memory in bytes; 0 when unknown.
    [[nodiscard]] static std::int64_t physicalMemoryBytes();
    // The job for one item: `work` runs on a worker thread, its progress (a fraction) goes to
    // the item, and its outcome, with the written file's size, is recorded in the item on the
    // main thread when the item is still listed.
    [[nodiscard]] static BatchRunner::Job
    jobFor(ImageItem& item, std::function<FileOutcome(CancellationToken&, const Progress&)> work);
    // The job for one item of the run; `startedIndex` counts the items started so far.
    [[nodiscard]] virtual BatchRunner::Job prepare(ImageItem& item, int startedIndex) = 0;

    ItemList m_items;
    BatchRunner m_runner;
    // Output names handed out in this run.
    QSet<QUrl> m_reserved;

private:
    // Lists the new items of an intake and reports its problems.
    void takeIntake(const FileService::Intake& intake, const ItemList& added);
    // Passes on the changes of an item from the moment it is listed until it is taken out.
    void watch(ImageItem* item);
    void unwatch(const ImageItem* item);

    const QSet<QString>& m_extensions;
    bool m_isRunning = false;
    bool m_isCancelling = false;
    QPointer<SharedOutputSettings> m_shared;
    std::optional<QUrl> m_fixedOutputDirectory;
    QHash<QString, QUrl> m_outputFolderByInput;
    int m_concurrencyLimit = 0;
};

// A tool driver with its settings, their store and its per-file pipeline: `Settings`
// compares with ==, `Persistence::load()` returns the stored settings, and `Request` is
// what one file's work is asked to do, prepared on the main thread and handed to the
// pipeline as a copy.
template <typename Settings, typename Persistence, typename Request>
class ToolDriverWithSettings : public ToolDriver {
public:
    // One file's work on a worker thread: does what the request asks, or throws.
    using Pipeline =
        std::function<FileOutcome(const Request&, CancellationToken&, const Progress&)>;

    [[nodiscard]] const Settings& settings() const { return m_settings; }
    // Replaces the tool's own pipeline (tests).
    void setPipeline(Pipeline pipeline) { m_chosenPipeline = std::move(pipeline); }
    // Replaces the settings for this driver only; nothing is stored (headless runs).
    void applySettings(const Settings& settings) { replaceSettings(settings); }
    void loadSettings() override { replaceSettings(m_persistence.load()); }

protected:
    using ToolDriver::ToolDriver;

    void replaceSettings(const Settings& settings) {
        if (m_settings == settings)
            return;
        m_settings = settings;
        Q_EMIT settingsChanged();
    }

    // The tool's own pipeline, made for a run that has no chosen one.
    [[nodiscard]] virtual Pipeline ownPipeline() const = 0;
    void choosePipeline() final {
        m_pipeline = m_chosenPipeline ? m_chosenPipeline : ownPipeline();
    }

    // The job that hands `request` to the run's pipeline.
    [[nodiscard]] BatchRunner::Job jobFor(ImageItem& item, Request request) const {
        return ToolDriver::jobFor(item, [request = std::move(request), pipeline = m_pipeline](
                                            CancellationToken& token, const Progress& progress) {
            return pipeline(request, token, progress);
        });
    }

    Settings m_settings;
    Persistence m_persistence;
    Pipeline m_chosenPipeline;
    // The current run's: the chosen one, else the tool's own.
    Pipeline m_pipeline;
};

} // namespace glintwork
