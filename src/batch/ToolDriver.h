#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QUrl>

#include "batch/BatchRunner.h"
#include "batch/FileService.h"
#include "batch/ImageItem.h"
#include "platform/SharedOutputSettings.h"

namespace glintwork {

// What the three tools' batch drivers have in common: the list of items and the calls that
// change it, where outputs go, the running and cancelling states, the names handed out in a
// run and the notifications about all of these. Each tool adds its settings, its start rule
// and the job that processes one item, and names its run in its own words (isConverting,
// startConversion; isProcessing, startProcessing), which the generic calls below forward to.
// Lives on the main thread.
class ToolDriver : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool isCancelling READ isCancelling NOTIFY isCancellingChanged)

public:
    ~ToolDriver() override;

    [[nodiscard]] const ItemList& items() const { return m_items; }
    [[nodiscard]] bool isRunning() const { return m_isRunning; }
    [[nodiscard]] bool isCancelling() const { return m_isCancelling; }
    [[nodiscard]] virtual bool canStart() const = 0;
    virtual void start() = 0;
    virtual void cancel() = 0;
    // Replaces the settings with the stored ones (when the view comes on screen).
    virtual void loadSettings() = 0;

    [[nodiscard]] SharedOutputSettings* sharedOutputSettings() const { return m_shared; }
    void setSharedOutputSettings(SharedOutputSettings* shared);
    // Headless runs name their output folder directly instead of through the shared,
    // bookmarked one (nothing is stored).
    void setFixedOutputDirectory(const std::optional<QUrl>& folder) {
        m_fixedOutputDirectory = folder;
    }

    // Adds the files (and the images inside folders) of the tool's kinds not listed yet;
    // what cannot be added is reported through intakeProblems.
    void addFiles(const QList<QUrl>& urls);
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

Q_SIGNALS:
    void itemsChanged();
    // Named or found inputs that could not be added, with the reason for each.
    void intakeProblems(const QList<IntakeProblem>& problems);
    void settingsChanged();
    void isRunningChanged();
    void isCancellingChanged();
    void sharedOutputSettingsChanged();
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
    // Some listed item is not completed yet.
    [[nodiscard]] bool hasUnfinishedItems() const;
    void setRunning(bool running);
    void setCancelling(bool cancelling);
    // Asks a running batch to stop and announces it; a second request while the first is
    // under way changes nothing and is not announced again.
    void requestCancel(bool running, const QString& announcementText);
    // `url`, or the first free variant of it that is neither on disk nor handed out earlier
    // in this run; the result counts as handed out from now on.
    [[nodiscard]] QUrl reserveOutputURL(const QUrl& url);

    // Starts a run over the list, once the tool has captured what the run needs: failed
    // and cancelled items wait again, names handed out in an earlier run are forgotten, and
    // the waiting items go to prepare() in list order, at most concurrencyLimit() at once.
    void startRun();
    // How many files the tool processes at once on this machine when no limit is set.
    [[nodiscard]] virtual int defaultConcurrency() const = 0;
    // This machine's memory in bytes; 0 when unknown.
    [[nodiscard]] static std::int64_t physicalMemoryBytes();
    // The common end of a job, on its worker thread: the written file's size is read there,
    // and the returned closure, run on the main thread, records output and size in the
    // item (when it is still listed) and then runs `more` on it.
    [[nodiscard]] static std::function<void()> recordOutput(const QPointer<ImageItem>& target, const QUrl& written,
                                                            std::function<void(ImageItem&)> more = {});
    // The job for one item of the run; `startedIndex` counts the items started so far.
    [[nodiscard]] virtual BatchRunner::Job prepare(ImageItem& item, int startedIndex) = 0;

    ItemList m_items;
    BatchRunner m_runner;
    // Output names handed out in this run.
    QSet<QUrl> m_reserved;

private:
    const QSet<QString>& m_extensions;
    bool m_isRunning = false;
    bool m_isCancelling = false;
    QPointer<SharedOutputSettings> m_shared;
    std::optional<QUrl> m_fixedOutputDirectory;
    int m_concurrencyLimit = 0;
};

// A tool driver with its settings and their store: `Settings` compares with ==, and
// `Persistence::load()` returns the stored settings.
template <typename Settings, typename Persistence>
class ToolDriverWithSettings : public ToolDriver {
public:
    [[nodiscard]] const Settings& settings() const { return m_settings; }
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

    Settings m_settings;
    Persistence m_persistence;
};

} // namespace glintwork
