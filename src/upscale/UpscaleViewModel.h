#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include <QPointer>
#include <QSet>
#include <QUrl>

#include "batch/ToolDriver.h"
#include "upscale/AutoTiler.h"
#include "upscale/UpscaleSettings.h"

namespace glintwork {

class CancellationToken;

// What one file's upscale is asked to do; handed to a worker thread as a copy.
struct UpscaleRequest {
    QUrl input;
    QUrl outputURL;
    UpscaleOutputFormat format = UpscaleOutputFormat::png;
    UpscaleModel model = UpscaleModel::x4plus;
    int factor = 4;
    // Names handed to other files of the run, never taken when outputURL turns out taken.
    QSet<QUrl> reserved;
};

// The whole per-file pipeline off the main thread: decode (turned upright), tile, upscale
// each tile and paint it into the output canvas as it finishes, write PNG or JPEG without
// the source's metadata into a hidden part file in the output folder, and publish that
// under outputURL, or the next free numbered name when something took outputURL meanwhile;
// nothing is ever replaced and nothing is left behind on failure or cancellation. Returns
// the name published. `progress` receives 0 and then (j + 1) / tiles. Throws the
// pipeline's, the upscaler's, FileSystemError or CancelledError.
[[nodiscard]] QUrl upscaleFile(const UpscaleRequest& request, const AutoTiler& tiler,
                               CancellationToken& token, const std::function<void(double)>& progress);

// Files upscaled at once unless set: 2 on a machine with more than one processor and at
// least 8 GiB of memory, else 1.
[[nodiscard]] int defaultUpscaleConcurrency(int processors, std::int64_t physicalMemoryBytes);

// The upscale tool's batch driver: its list, its settings (mirrored into the preference
// store as they change) and the run that upscales every waiting item, two files at once.
// Lives on the main thread.
class UpscaleViewModel : public ToolDriverWithSettings<UpscaleSettings, UpscaleSettingsPersistence> {
    Q_OBJECT
    Q_PROPERTY(bool isProcessing READ isProcessing NOTIFY isProcessingChanged)

public:
    explicit UpscaleViewModel(QObject* parent = nullptr);
    ~UpscaleViewModel() override;

    [[nodiscard]] bool isProcessing() const { return isRunning(); }
    [[nodiscard]] const AutoTiler& tiler() const { return m_tiler; }

    [[nodiscard]] ImageItem* previewItem() const { return m_previewItem; }
    void setPreviewItem(ImageItem* item);

    [[nodiscard]] bool canStartProcessing() const { return !isProcessing() && hasUnfinishedItems(); }

    void updateOutputFormat(UpscaleOutputFormat format);
    void updateStyle(UpscaleStyle style);
    // Only 2 and 4 are accepted; anything else is ignored.
    void updateScale(int scale);
    void updateQuality(UpscaleQuality quality);
    void updateNamingConfig(const NamingConfig& config);

    void startProcessing();
    void cancelProcessing();
    [[nodiscard]] bool canStart() const override { return canStartProcessing(); }
    void start() override { startProcessing(); }
    void cancel() override { cancelProcessing(); }

    [[nodiscard]] int defaultConcurrency() const override;

Q_SIGNALS:
    void isProcessingChanged();
    void previewItemChanged();

private:
    [[nodiscard]] BatchRunner::Job prepare(ImageItem& item, int startedIndex) override;

    QPointer<ImageItem> m_previewItem;
    AutoTiler m_tiler;

    // Captured when a run starts.
    struct Snapshot {
        std::optional<QUrl> sharedFolder;
        UpscaleOutputFormat format = UpscaleOutputFormat::png;
        ModelChoice choice{UpscaleModel::x4plus, 4};
        NamingConfig naming;
    };
    Snapshot m_snapshot;
};

} // namespace glintwork
