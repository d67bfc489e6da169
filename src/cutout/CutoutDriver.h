#pragma once

#include <cstdint>
#include <optional>

#include <QUrl>

#include "batch/ToolDriver.h"
#include "cutout/CutoutPipeline.h"
#include "cutout/CutoutSettings.h"

namespace glintwork {

// Files cut out at once. With a network, passes run one at a time and use every core, so a
// second file only overlaps its decoding and writing with the other's pass, and a third
// would only hold memory; each file in flight holds its decoded source, mask and cut-out
// (about 13 bytes a pixel: some 200 MB for 16 megapixels) beside the shared network
// (about 1 GB at work). Without a network, the built-in segmenter runs on the file's
// own thread: one file per processor.
[[nodiscard]] int defaultCutoutConcurrency(int processors, std::int64_t physicalMemoryBytes, bool network);

// The cutout tool's batch driver: its list, its settings (mirrored into the preference
// store as they change) and the run that cuts out every waiting item, several at once.
// Lives on the main thread.
// Unless a pipeline is chosen, every run gets a fresh BackgroundRemover: its files share the
// networks it loads, and the memory goes when the run ends.
class CutoutDriver : public ToolDriverWithSettings<CutoutSettings, CutoutSettingsPersistence, CutoutRequest> {
    Q_OBJECT

public:
    explicit CutoutDriver(QObject* parent = nullptr);
    ~CutoutDriver() override;

    void updateMode(CutoutMode mode);
    void updateOutputFormat(CutoutOutputFormat format);
    void updateExportMaskSeparately(bool exportMask);
    void updateNamingConfig(const NamingConfig& config);

    [[nodiscard]] int defaultConcurrency() const override;

private:
    void beginRun() override;
    [[nodiscard]] Pipeline ownPipeline() const override;
    [[nodiscard]] QString cancellingText() const override;
    [[nodiscard]] BatchRunner::Job prepare(ImageItem& item, int startedIndex) override;

    // Captured when a run starts; changes during the run do not affect it.
    struct Snapshot {
        std::optional<QUrl> sharedFolder;
        CutoutOutputFormat format = CutoutOutputFormat::png;
        bool exportMask = false;
        CutoutMode mode = CutoutMode::lossless;
        NamingConfig naming;
    };
    Snapshot m_snapshot;
};

} // namespace glintwork
