#pragma once

#include <cstdint>
#include <optional>

#include <QPointer>
#include <QUrl>

#include "batch/ToolDriver.h"
#include "upscale/AutoTiler.h"
#include "upscale/UpscalePipeline.h"
#include "upscale/UpscaleSettings.h"

namespace glintwork {

// Files upscaled at once unless set: 2 on a machine with more than one processor and at
// least 8 GiB of memory, else 1.
[[nodiscard]] int defaultUpscaleConcurrency(int processors, std::int64_t physicalMemoryBytes);

// The upscale tool's batch driver: its list, its settings (mirrored into the preference
// store as they change) and the run that upscales every waiting item, two files at once.
// Lives on the main thread.
class UpscaleDriver : public ToolDriverWithSettings<UpscaleSettings, UpscaleSettingsPersistence, UpscaleRequest> {
    Q_OBJECT

public:
    explicit UpscaleDriver(QObject* parent = nullptr);
    ~UpscaleDriver() override;

    [[nodiscard]] const AutoTiler& tiler() const { return m_tiler; }

    [[nodiscard]] ImageItem* previewItem() const { return m_previewItem; }
    void setPreviewItem(ImageItem* item);

    void updateOutputFormat(UpscaleOutputFormat format);
    void updateStyle(UpscaleStyle style);
    // Only 2 and 4 are accepted; anything else is ignored.
    void updateScale(int scale);
    void updateQuality(UpscaleQuality quality);
    void updateNamingConfig(const NamingConfig& config);

    [[nodiscard]] int defaultConcurrency() const override;

Q_SIGNALS:
    void previewItemChanged();

private:
    void beginRun() override;
    [[nodiscard]] Pipeline ownPipeline() const override;
    [[nodiscard]] QString cancellingText() const override;
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
