#pragma once

#include <optional>

#include <QUrl>

#include "batch/ToolDriver.h"
#include "compress/CompressSettingsPersistence.h"
#include "compress/ConversionSettings.h"

namespace glintwork {

// What one conversion is asked to do; handed to a worker thread as a copy.
struct ConversionRequest {
    QUrl input;
    QUrl outputDirectory;
    OutputFormat format = OutputFormat::webp;
    int quality = 80;
    std::optional<int> maxWidth;
    std::optional<int> maxHeight;
    QUrl outputURL;
};

// The compress tool's batch driver: its list, its settings (mirrored into the preference
// store as they change) and the run that converts every waiting item, several at once.
// Lives on the main thread.
class CompressDriver
    : public ToolDriverWithSettings<ConversionSettings, CompressSettingsPersistence, ConversionRequest> {
    Q_OBJECT

public:
    explicit CompressDriver(QObject* parent = nullptr);
    ~CompressDriver() override;

    // A list that is all converted may be converted again (into new files).
    [[nodiscard]] bool canStart() const override { return !m_items.isEmpty() && !isRunning(); }
    [[nodiscard]] qint64 totalOriginalSize() const;
    [[nodiscard]] qint64 totalCompressedSize() const;

    void updateQuality(int quality);
    void updateOutputFormat(OutputFormat format);
    void updateMaxWidth(std::optional<int> width);
    void updateMaxHeight(std::optional<int> height);
    void updateResizeEnabled(bool enabled);
    void updateNamingConfig(const NamingConfig& config);

    [[nodiscard]] int defaultConcurrency() const override;

private:
    void beginRun() override;
    [[nodiscard]] Pipeline ownPipeline() const override;
    [[nodiscard]] QString cancellingText() const override;
    [[nodiscard]] BatchRunner::Job prepare(ImageItem& item, int startedIndex) override;

    // Captured when a run starts.
    struct Snapshot {
        std::optional<QUrl> sharedFolder;
        OutputFormat format = OutputFormat::webp;
        int quality = 80;
        std::optional<int> maxWidth;
        std::optional<int> maxHeight;
        NamingConfig naming;
    };
    Snapshot m_snapshot;
};

} // namespace glintwork
