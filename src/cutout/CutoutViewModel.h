#pragma once

#include <cstdint>
#include <memory>
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
class CutoutViewModel : public ToolDriverWithSettings<CutoutSettings, CutoutSettingsPersistence> {
    Q_OBJECT
    Q_PROPERTY(bool isProcessing READ isProcessing NOTIFY isProcessingChanged)

public:
    explicit CutoutViewModel(QObject* parent = nullptr);
    ~CutoutViewModel() override;

    [[nodiscard]] bool isProcessing() const { return isRunning(); }
    // Replaces the mask source (tests, other back ends). Without one, every run gets a
    // fresh BackgroundRemover: its files share the networks it loads, and the memory goes
    // when the run ends.
    void setBackgroundRemover(std::shared_ptr<const BackgroundRemoving> remover);

    // The list holds an item that is not completed and no run is going on.
    [[nodiscard]] bool canStartProcessing() const { return !isProcessing() && hasUnfinishedItems(); }

    void updateMode(CutoutMode mode);
    void updateOutputFormat(CutoutOutputFormat format);
    void updateExportMaskSeparately(bool exportMask);
    void updateNamingConfig(const NamingConfig& config);

    void startProcessing();
    void cancelProcessing();
    [[nodiscard]] bool canStart() const override { return canStartProcessing(); }
    void start() override { startProcessing(); }
    void cancel() override { cancelProcessing(); }

    [[nodiscard]] int defaultConcurrency() const override;

Q_SIGNALS:
    void isProcessingChanged();

private:
    [[nodiscard]] BatchRunner::Job prepare(ImageItem& item, int startedIndex) override;

    std::shared_ptr<const BackgroundRemoving> m_chosenRemover;
    std::shared_ptr<const BackgroundRemoving> m_remover; // the current run's

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
