#pragma once

#include <functional>
#include <memory>
#include <optional>

#include <QUrl>

#include "batch/ToolDriver.h"
#include "compress/CompressSettingsPersistence.h"
#include "compress/ConversionSettings.h"

namespace glintwork {

class CancellationToken;

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
class ConversionViewModel : public ToolDriverWithSettings<ConversionSettings, CompressSettingsPersistence> {
    Q_OBJECT
    Q_PROPERTY(bool isConverting READ isConverting NOTIFY isConvertingChanged)

public:
    // Runs on a worker thread; returns where the output was written.
    using Converter = std::function<QUrl(const ConversionRequest&, CancellationToken&)>;

    explicit ConversionViewModel(QObject* parent = nullptr);
    ~ConversionViewModel() override;

    [[nodiscard]] bool isConverting() const { return isRunning(); }

    [[nodiscard]] bool canStartConversion() const { return !m_items.isEmpty() && !isConverting(); }
    [[nodiscard]] qint64 totalOriginalSize() const;
    [[nodiscard]] qint64 totalCompressedSize() const;

    void updateQuality(int quality);
    void updateOutputFormat(OutputFormat format);
    void updateMaxWidth(std::optional<int> width);
    void updateMaxHeight(std::optional<int> height);
    void updateResizeEnabled(bool enabled);
    void updateNamingConfig(const NamingConfig& config);

    void startConversion();
    void cancelConversion();
    [[nodiscard]] bool canStart() const override { return canStartConversion(); }
    void start() override { startConversion(); }
    void cancel() override { cancelConversion(); }

    [[nodiscard]] int defaultConcurrency() const override;
    // Replaces the real converter (tests).
    void setConverter(Converter converter) { m_converter = std::move(converter); }

Q_SIGNALS:
    void isConvertingChanged();

private:
    [[nodiscard]] BatchRunner::Job prepare(ImageItem& item, int startedIndex) override;

    Converter m_converter;

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
