#include "compress/CompressDriver.h"

#include <QCoreApplication>
#include <QFileInfo>

#include "batch/FileService.h"
#include "compress/ImageConverter.h"
#include "naming/OutputNamer.h"
#include "platform/CancellationToken.h"
#include "platform/SharedOutputSettings.h"
#include "platform/ThreadBudget.h"

namespace glintwork {

CompressDriver::CompressDriver(QObject* parent)
    : ToolDriverWithSettings(ConversionSettings::supportedExtensions(), parent) {}

CompressDriver::~CompressDriver() = default;

QString CompressDriver::cancellingText() const {
    return QCoreApplication::translate("CompressDriver", "Cancelling conversion");
}

qint64 CompressDriver::totalOriginalSize() const {
    qint64 total = 0;
    for (const auto& item : m_items)
        total += item->originalSize();
    return total;
}

qint64 CompressDriver::totalCompressedSize() const {
    qint64 total = 0;
    for (const auto& item : m_items)
        total += item->compressedSize().value_or(0);
    return total;
}

void CompressDriver::updateQuality(int quality) {
    ConversionSettings next = m_settings;
    next.quality = quality;
    replaceSettings(next);
    m_persistence.setSavedQuality(quality);
}

void CompressDriver::updateOutputFormat(OutputFormat format) {
    ConversionSettings next = m_settings;
    next.outputFormat = format;
    replaceSettings(next);
    m_persistence.setSavedFormat(keyword(format));
}

void CompressDriver::updateMaxWidth(std::optional<int> width) {
    ConversionSettings next = m_settings;
    next.maxWidth = width;
    replaceSettings(next);
    m_persistence.setSavedMaxWidth(width.value_or(0));
}

void CompressDriver::updateMaxHeight(std::optional<int> height) {
    ConversionSettings next = m_settings;
    next.maxHeight = height;
    replaceSettings(next);
    m_persistence.setSavedMaxHeight(height.value_or(0));
}

void CompressDriver::updateResizeEnabled(bool enabled) {
    ConversionSettings next = m_settings;
    next.resizeEnabled = enabled;
    replaceSettings(next);
    m_persistence.setSavedResizeEnabled(enabled);
    if (!enabled || m_items.isEmpty())
        return;
    // Start from the largest image in the list, so turning resize on changes nothing yet.
    int widest = 0;
    int tallest = 0;
    for (const auto& item : m_items) {
        widest = std::max(widest, item->pixelWidth());
        tallest = std::max(tallest, item->pixelHeight());
    }
    if (widest > 0)
        updateMaxWidth(widest);
    if (tallest > 0)
        updateMaxHeight(tallest);
}

void CompressDriver::updateNamingConfig(const NamingConfig& config) {
    replaceSettings(withNamingConfig(m_settings, config));
    m_persistence.save(m_settings.namingConfig());
}

int CompressDriver::defaultConcurrency() const {
    return ThreadBudget::cores();
}

CompressDriver::Pipeline CompressDriver::ownPipeline() const {
    return [](const ConversionRequest& request, CancellationToken& token, const Progress&) {
        return FileOutcome{ImageConverter::convert(request.input, request.outputDirectory, request.format,
                                                   request.quality, request.maxWidth, request.maxHeight,
                                                   request.outputURL, token),
                           std::nullopt};
    };
}

void CompressDriver::beginRun() {
    m_snapshot.sharedFolder = outputFolder();
    m_snapshot.format = m_settings.outputFormat;
    m_snapshot.quality = m_settings.quality;
    m_snapshot.maxWidth = m_settings.resizeEnabled ? m_settings.maxWidth : std::nullopt;
    m_snapshot.maxHeight = m_settings.resizeEnabled ? m_settings.maxHeight : std::nullopt;
    m_snapshot.naming = m_settings.namingConfig();
}

BatchRunner::Job CompressDriver::prepare(ImageItem& item, int startedIndex) {
    ConversionRequest request;
    request.input = item.url();
    request.outputDirectory = outputFolderFor(item.url(), m_snapshot.sharedFolder);
    request.format = m_snapshot.format;
    request.quality = m_snapshot.quality;
    request.maxWidth = m_snapshot.maxWidth;
    request.maxHeight = m_snapshot.maxHeight;
    // Original naming is decided here too (the same rule the converter would apply), so
    // that names handed out to items still converting are never given twice.
    const QString base =
        OutputNamer::computeBaseName(item.url(), m_snapshot.naming, startedIndex, std::nullopt);
    request.outputURL = reserveOutputURL(
        OutputNamer::outputURL(request.outputDirectory, base, fileExtension(request.format)));
    return jobFor(item, std::move(request));
}

} // namespace glintwork
