#include "upscale/UpscaleDriver.h"

#include <QCoreApplication>

#include "naming/OutputNamer.h"
#include "platform/CancellationToken.h"
#include "platform/ThreadBudget.h"

namespace glintwork {

UpscaleDriver::UpscaleDriver(QObject* parent)
    : ToolDriverWithSettings(UpscaleSettings::supportedExtensions(), parent) {}

UpscaleDriver::~UpscaleDriver() = default;

QString UpscaleDriver::cancellingText() const {
    return QCoreApplication::translate("UpscaleDriver", "Cancelling upscaling");
}

void UpscaleDriver::setPreviewItem(ImageItem* item) {
    if (m_previewItem == item)
        return;
    m_previewItem = item;
    Q_EMIT previewItemChanged();
}

void UpscaleDriver::updateOutputFormat(UpscaleOutputFormat format) {
    UpscaleSettings next = m_settings;
    next.outputFormat = format;
    replaceSettings(next);
    m_persistence.setSavedFormat(format);
}

void UpscaleDriver::updateStyle(UpscaleStyle style) {
    UpscaleSettings next = m_settings;
    next.style = style;
    replaceSettings(next);
    m_persistence.setSavedStyle(style);
}

void UpscaleDriver::updateScale(int scale) {
    if (!isAllowedUpscaleFactor(scale))
        return;
    UpscaleSettings next = m_settings;
    next.scale = scale;
    replaceSettings(next);
    m_persistence.setSavedScale(scale);
}

void UpscaleDriver::updateQuality(UpscaleQuality quality) {
    UpscaleSettings next = m_settings;
    next.quality = quality;
    replaceSettings(next);
    m_persistence.setSavedQuality(quality);
}

void UpscaleDriver::updateNamingConfig(const NamingConfig& config) {
    replaceSettings(withNamingConfig(m_settings, config));
    m_persistence.save(m_settings.namingConfig());
}

int defaultUpscaleConcurrency(int processors, std::int64_t physicalMemoryBytes) {
    if (processors <= 1)
        return 1;
    // A file in flight holds the network's working memory for one tile (about 1 GiB for the
    // general 4x network in float32 with its tail in strips, 0.35 GiB for the fast one) plus
    // its output canvas (up to 1 GiB at the largest output we accept). A second file at once
    // would not be faster on a processor the first one already keeps busy, so it is only
    // worth its memory where that memory is plainly there; an unknown size (0 or less) is
    // trusted.
    constexpr std::int64_t kGiB = std::int64_t(1) << 30;
    if (physicalMemoryBytes > 0 && physicalMemoryBytes < 8 * kGiB)
        return 1;
    return 2;
}

int UpscaleDriver::defaultConcurrency() const {
    return defaultUpscaleConcurrency(ThreadBudget::cores(), physicalMemoryBytes());
}

UpscaleDriver::Pipeline UpscaleDriver::ownPipeline() const {
    return [tiler = &m_tiler](const UpscaleRequest& request, CancellationToken& token, const Progress& progress) {
        return FileOutcome{upscaleFile(request, *tiler, token, progress), std::nullopt};
    };
}

void UpscaleDriver::beginRun() {
    m_snapshot.sharedFolder = outputFolder();
    m_snapshot.format = m_settings.outputFormat;
    m_snapshot.choice = chooseModel(m_settings.style, m_settings.scale, m_settings.quality);
    m_snapshot.naming = m_settings.namingConfig();
}

BatchRunner::Job UpscaleDriver::prepare(ImageItem& item, int startedIndex) {
    UpscaleRequest request;
    request.input = item.url();
    request.format = m_snapshot.format;
    request.model = m_snapshot.choice.model;
    request.factor = m_snapshot.choice.factor;
    const QUrl folder = outputFolderFor(item.url(), m_snapshot.sharedFolder);
    // Names handed out to files still upscaling are reserved, so two sources with the same
    // stem never share an output.
    const QString base = OutputNamer::computeBaseName(item.url(), m_snapshot.naming, startedIndex,
                                                      m_snapshot.choice.factor);
    request.outputURL = reserveOutputURL(OutputNamer::outputURL(folder, base, fileExtension(request.format)));
    request.reserved = m_reserved;
    return jobFor(item, std::move(request));
}

} // namespace glintwork
