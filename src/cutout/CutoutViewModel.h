#pragma once

#include <memory>
#include <optional>

#include <QObject>
#include <QPointer>
#include <QSet>
#include <QUrl>

#include "batch/BatchRunner.h"
#include "batch/ImageItem.h"
#include "cutout/BackgroundRemoving.h"
#include "cutout/CutoutSettings.h"
#include "platform/DescribedError.h"
#include "platform/SharedOutputSettings.h"

namespace glintwork {

class CancellationToken;

// A source file that could not be opened or decoded.
class CutoutPipelineError : public DescribedError {
public:
    static CutoutPipelineError sourceUnreadable(const QUrl& url) { return CutoutPipelineError(url); }
    [[nodiscard]] const QUrl& url() const { return m_url; }
    [[nodiscard]] QString description() const override;

private:
    explicit CutoutPipelineError(QUrl url) : m_url(std::move(url)) {}
    QUrl m_url;
};

// What one cut-out is asked to do; handed to a worker thread as a copy.
struct CutoutRequest {
    QUrl input;
    CutoutMode mode = CutoutMode::lossless;
    CutoutOutputFormat format = CutoutOutputFormat::png;
    QUrl outputURL;
    std::optional<QUrl> maskURL;
};

// What a finished cut-out reports back.
struct CutoutOutcome {
    QUrl outputURL;
    std::optional<QUrl> maskURL;
    // The description of a failed mask export; the cut-out itself was written.
    std::optional<QString> maskExportError;
};

// The per-file work: decode, mask, cut-out, write, optional mask file, with a
// cancellation check before decoding, after reading metadata, after the mask and after
// the cut-out. Throws the error of the step that failed.
[[nodiscard]] CutoutOutcome runCutoutPipeline(const CutoutRequest& request,
                                              const BackgroundRemoving& remover,
                                              CancellationToken& token);

// The cutout tool's batch driver: its list, its settings (mirrored into the preference
// store as they change) and the run that cuts out every waiting item, several at once.
// Lives on the main thread.
class CutoutViewModel : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool isProcessing READ isProcessing NOTIFY isProcessingChanged)
    Q_PROPERTY(bool isCancelling READ isCancelling NOTIFY isCancellingChanged)

public:
    explicit CutoutViewModel(QObject* parent = nullptr);
    ~CutoutViewModel() override;

    [[nodiscard]] const ItemList& items() const { return m_items; }
    [[nodiscard]] const CutoutSettings& settings() const { return m_settings; }
    [[nodiscard]] bool isProcessing() const { return m_isProcessing; }
    [[nodiscard]] bool isCancelling() const { return m_isCancelling; }
    [[nodiscard]] SharedOutputSettings* sharedOutputSettings() const { return m_shared; }
    void setSharedOutputSettings(SharedOutputSettings* shared);
    // Headless runs name their output folder directly (nothing is stored).
    void setFixedOutputDirectory(const std::optional<QUrl>& folder) { m_fixedOutputDirectory = folder; }
    // Replaces the settings for this driver only; nothing is stored (headless runs).
    void applySettings(const CutoutSettings& settings) { replaceSettings(settings); }
    // Replaces the mask source (tests, other back ends).
    void setBackgroundRemover(std::shared_ptr<const BackgroundRemoving> remover);

    // The list holds an item that is not completed and no run is going on.
    [[nodiscard]] bool canStartProcessing() const;

    void addFiles(const QList<QUrl>& urls);
    void removeItem(const ImageItem* item);
    void clearItems();

    // Replaces the settings with the stored ones (when the view first appears).
    void loadSettings();
    void updateMode(CutoutMode mode);
    void updateOutputFormat(CutoutOutputFormat format);
    void updateExportMaskSeparately(bool exportMask);
    void updateNamingConfig(const NamingConfig& config);

    void startProcessing();
    void cancelProcessing();

    // The shared output folder, else the folder of the first item with an output.
    [[nodiscard]] std::optional<QUrl> outputFolderToOpen() const;

    // How many files may be processed at once; the processor count unless set.
    void setConcurrencyLimit(int limit) { m_concurrencyLimit = limit; }
    [[nodiscard]] int concurrencyLimit() const;

Q_SIGNALS:
    void itemsChanged();
    void settingsChanged();
    void isProcessingChanged();
    void isCancellingChanged();
    void sharedOutputSettingsChanged();
    // A text for assistive technology ("Cancelling processing").
    void announcement(const QString& text);
    // The run is over; a front end may play the completion sound when not cancelled.
    void runFinished(bool cancelled);

private:
    void setProcessing(bool processing);
    void setCancelling(bool cancelling);
    void replaceSettings(const CutoutSettings& settings);
    BatchRunner::Job prepare(ImageItem& item, int startedIndex);

    ItemList m_items;
    CutoutSettings m_settings;
    bool m_isProcessing = false;
    bool m_isCancelling = false;
    QPointer<SharedOutputSettings> m_shared;
    std::optional<QUrl> m_fixedOutputDirectory;
    CutoutSettingsPersistence m_persistence;
    std::shared_ptr<const BackgroundRemoving> m_remover;
    BatchRunner m_runner;
    int m_concurrencyLimit = 0;

    // Captured when a run starts; changes during the run do not affect it.
    struct Snapshot {
        std::optional<QUrl> sharedFolder;
        CutoutOutputFormat format = CutoutOutputFormat::png;
        bool exportMask = false;
        CutoutMode mode = CutoutMode::lossless;
        NamingConfig naming;
    };
    Snapshot m_snapshot;
    // Output and mask names handed out in this run.
    QSet<QUrl> m_reserved;
};

} // namespace glintwork
