#pragma once

#include <functional>
#include <memory>
#include <optional>

#include <QObject>
#include <QPointer>
#include <QSet>
#include <QUrl>

#include "batch/BatchRunner.h"
#include "batch/ImageItem.h"
#include "compress/CompressSettingsPersistence.h"
#include "compress/ConversionSettings.h"
#include "platform/SharedOutputSettings.h"

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
class ConversionViewModel : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool isConverting READ isConverting NOTIFY isConvertingChanged)
    Q_PROPERTY(bool isCancelling READ isCancelling NOTIFY isCancellingChanged)

public:
    // Runs on a worker thread; returns where the output was written.
    using Converter = std::function<QUrl(const ConversionRequest&, CancellationToken&)>;

    explicit ConversionViewModel(QObject* parent = nullptr);
    ~ConversionViewModel() override;

    [[nodiscard]] const ItemList& items() const { return m_items; }
    [[nodiscard]] const ConversionSettings& settings() const { return m_settings; }
    [[nodiscard]] bool isConverting() const { return m_isConverting; }
    [[nodiscard]] bool isCancelling() const { return m_isCancelling; }
    [[nodiscard]] SharedOutputSettings* sharedOutputSettings() const { return m_shared; }
    void setSharedOutputSettings(SharedOutputSettings* shared);
    // Headless runs name their output folder directly instead of through the shared,
    // bookmarked one (nothing is stored).
    void setFixedOutputDirectory(const std::optional<QUrl>& folder) { m_fixedOutputDirectory = folder; }
    // Replaces the settings for this driver only; nothing is stored (headless runs).
    void applySettings(const ConversionSettings& settings) { replaceSettings(settings); }

    [[nodiscard]] bool canStartConversion() const { return !m_items.isEmpty() && !m_isConverting; }
    [[nodiscard]] qint64 totalOriginalSize() const;
    [[nodiscard]] qint64 totalCompressedSize() const;

    void addFiles(const QList<QUrl>& urls);
    void clearItems();
    void removeItem(const ImageItem* item);

    // Replaces the settings with the stored ones (when the view comes on screen).
    void loadSettings();
    void updateQuality(int quality);
    void updateOutputFormat(OutputFormat format);
    void updateMaxWidth(std::optional<int> width);
    void updateMaxHeight(std::optional<int> height);
    void updateResizeEnabled(bool enabled);
    void updateNamingConfig(const NamingConfig& config);

    void startConversion();
    void cancelConversion();

    // The shared output folder, else the folder of the first item with an output.
    [[nodiscard]] std::optional<QUrl> outputFolderToOpen() const;

    // How many conversions may run at once; the processor count unless set.
    void setConcurrencyLimit(int limit) { m_concurrencyLimit = limit; }
    [[nodiscard]] int concurrencyLimit() const;
    // Replaces the real converter (tests).
    void setConverter(Converter converter) { m_converter = std::move(converter); }

Q_SIGNALS:
    void itemsChanged();
    void settingsChanged();
    void isConvertingChanged();
    void isCancellingChanged();
    void sharedOutputSettingsChanged();
    // A text for assistive technology ("Cancelling conversion").
    void announcement(const QString& text);
    // The run is over; a front end may play the completion sound when not cancelled.
    void runFinished(bool cancelled);

private:
    void setConverting(bool converting);
    void setCancelling(bool cancelling);
    void replaceSettings(const ConversionSettings& settings);
    BatchRunner::Job prepare(ImageItem& item, int startedIndex);

    ItemList m_items;
    ConversionSettings m_settings;
    bool m_isConverting = false;
    bool m_isCancelling = false;
    QPointer<SharedOutputSettings> m_shared;
    std::optional<QUrl> m_fixedOutputDirectory;
    CompressSettingsPersistence m_persistence;
    Converter m_converter;
    BatchRunner m_runner;
    int m_concurrencyLimit = 0;

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
    // Output names handed out in this run and not yet written.
    QSet<QUrl> m_reserved;
};

} // namespace glintwork
