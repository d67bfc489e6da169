#include "upscale/UpscaleViewModel.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QThread>

#include "batch/FileService.h"
#include "batch/MoveWithoutReplacing.h"
#include "naming/OutputNamer.h"
#include "platform/CancellationToken.h"
#include "platform/ImageServices.h"
#include "platform/Orientation.h"
#include "upscale/DnnUpscaler.h"
#include "upscale/UpscalePipelineError.h"

namespace glintwork {

namespace {

constexpr int kTileSize = 512;
constexpr int kTileOverlap = 64;
constexpr double kJPEGQuality = 0.9;

} // namespace

QUrl upscaleFile(const UpscaleRequest& request, const AutoTiler& tiler, CancellationToken& token,
                 const std::function<void(double)>& progress) {
    token.check();
    // Claimed first, so a folder that cannot be written fails the file before minutes of work.
    PartFile part(QFileInfo(request.outputURL.toLocalFile()).absolutePath());
    const QString path = request.input.toLocalFile();
    const auto properties = ImageServices::readProperties(path);
    if (!properties)
        throw UpscalePipelineError::sourceUnreadable(request.input);
    // Refuse an output that cannot be held before spending anything on it.
    const qint64 outWidth = qint64(properties->pixelWidth) * request.factor;
    const qint64 outHeight = qint64(properties->pixelHeight) * request.factor;
    if (outWidth * outHeight > kMaxUpscaledPixels)
        throw UpscalePipelineError::outputTooLarge(outWidth, outHeight);

    std::shared_ptr<const Image> source;
    try {
        // Upright like the compress tool's output, since the written file carries no tag.
        Image decoded = ImageServices::decode(path);
        decoded = applyOrientation(decoded, properties->orientation.value_or(1));
        source = std::make_shared<const Image>(ImageServices::toRGBA8(decoded));
    } catch (const ImageServiceError&) {
        throw UpscalePipelineError::sourceUnreadable(request.input);
    }

    token.check();
    const TileSpec spec{kTileSize, kTileOverlap, request.factor};
    std::vector<Tile> tiles = tiler.tile(source, spec);
    const SourceSize size{double(source->width), double(source->height)};
    // The tiles hold their own pixels now (a single tile shares the source).
    source.reset();

    DnnUpscaler upscaler(request.model);
    upscaler.setCancellationToken(&token);
    progress(0.0);
    std::optional<Image> canvas;
    for (std::size_t j = 0; j < tiles.size(); ++j) {
        token.check();
        const Image upscaled = upscaler.upscale(*tiles[j].image, request.factor, {});
        tiles[j].image.reset();
        if (!canvas) {
            canvas = tiler.makeCanvas(size, spec);
            if (!canvas)
                throw UpscalePipelineError::mergeFailed();
        }
        tiler.paint(*canvas, tiles[j].bounds, upscaled, spec);
        progress(double(j + 1) / double(tiles.size()));
    }
    token.check();
    if (!canvas)
        canvas = tiler.makeCanvas(size, spec);
    if (!canvas)
        throw UpscalePipelineError::mergeFailed();

    token.check();
    // Every canvas pixel is opaque or transparent black, which read the same with straight
    // alpha: the encoder can take the pixels as they are.
    canvas->alphaInfo = AlphaInfo::last;
    try {
        if (request.format == UpscaleOutputFormat::jpeg)
            ImageServices::streamJPEG(*canvas, part.path(), kJPEGQuality);
        else
            ImageServices::streamPNG(*canvas, part.path());
    } catch (const ImageServiceError& error) {
        throw UpscalePipelineError::writeFailed(request.outputURL, error.reason());
    }
    canvas.reset();
    token.check();
    return publishPartFile(part, request.outputURL, request.reserved);
}

UpscaleViewModel::UpscaleViewModel(QObject* parent)
    : ToolDriverWithSettings(UpscaleSettings::supportedExtensions(), parent) {
    connect(this, &ToolDriver::isRunningChanged, this, &UpscaleViewModel::isProcessingChanged);
}

UpscaleViewModel::~UpscaleViewModel() = default;

void UpscaleViewModel::setPreviewItem(ImageItem* item) {
    if (m_previewItem == item)
        return;
    m_previewItem = item;
    Q_EMIT previewItemChanged();
}

void UpscaleViewModel::updateOutputFormat(UpscaleOutputFormat format) {
    UpscaleSettings next = m_settings;
    next.outputFormat = format;
    replaceSettings(next);
    m_persistence.setSavedFormat(format);
}

void UpscaleViewModel::updateStyle(UpscaleStyle style) {
    UpscaleSettings next = m_settings;
    next.style = style;
    replaceSettings(next);
    m_persistence.setSavedStyle(style);
    if (style == UpscaleStyle::anime && m_settings.scale != 4)
        updateScale(4);
}

void UpscaleViewModel::updateScale(int scale) {
    if (!isAllowedUpscaleFactor(scale))
        return;
    UpscaleSettings next = m_settings;
    next.scale = scale;
    replaceSettings(next);
    m_persistence.setSavedScale(scale);
}

void UpscaleViewModel::updateQuality(UpscaleQuality quality) {
    UpscaleSettings next = m_settings;
    next.quality = quality;
    replaceSettings(next);
    m_persistence.setSavedQuality(quality);
}

void UpscaleViewModel::updateNamingConfig(const NamingConfig& config) {
    replaceSettings(withNamingConfig(m_settings, config));
    m_persistence.save(m_settings.namingConfig());
}

int defaultUpscaleConcurrency(int processors, std::int64_t physicalMemoryBytes) {
    if (processors <= 1)
        return 1;
    // A file in flight holds the network's working memory for one tile (about 1.3 GiB for
    // the general 4x network with its tail in strips, 0.35 GiB for the fast one) plus its
    // output canvas (up to 1 GiB at the largest output we accept). A second file at once
    // would not be faster on a processor the first one already keeps busy, so it is only
    // worth its memory where that memory is plainly there; an unknown size (0 or less) is
    // trusted.
    constexpr std::int64_t kGiB = std::int64_t(1) << 30;
    if (physicalMemoryBytes > 0 && physicalMemoryBytes < 8 * kGiB)
        return 1;
    return 2;
}

int UpscaleViewModel::defaultConcurrency() const {
    return defaultUpscaleConcurrency(QThread::idealThreadCount(), physicalMemoryBytes());
}

void UpscaleViewModel::startProcessing() {
    if (!canStartProcessing() || m_runner.isRunning())
        return;
    m_snapshot.sharedFolder = outputFolder();
    m_snapshot.format = m_settings.outputFormat;
    m_snapshot.choice = chooseModel(m_settings.style, m_settings.scale, m_settings.quality);
    m_snapshot.naming = m_settings.namingConfig();
    startRun();
}

BatchRunner::Job UpscaleViewModel::prepare(ImageItem& item, int startedIndex) {
    UpscaleRequest request;
    request.input = item.url();
    request.format = m_snapshot.format;
    request.model = m_snapshot.choice.model;
    request.factor = m_snapshot.choice.factor;
    const QUrl folder = OutputNamer::outputFolder(item.url(), m_snapshot.sharedFolder);
    FileService::ensureDirectory(folder);
    // Names handed out to files still upscaling are reserved, so two sources with the same
    // stem never share an output.
    const QString base = OutputNamer::computeBaseName(item.url(), m_snapshot.naming, startedIndex,
                                                      m_snapshot.choice.factor);
    request.outputURL = reserveOutputURL(OutputNamer::outputURL(folder, base, fileExtension(request.format)));
    request.reserved = m_reserved;

    const AutoTiler* tiler = &m_tiler;
    QPointer<ImageItem> target(&item);
    return [request, tiler, target](CancellationToken& token) -> std::function<void()> {
        // The item outlives the job (the runner holds it), so posting to it is safe; the
        // update is dropped if the item is gone by the time it is delivered.
        ImageItem* context = target.data();
        const auto progress = [context, target](double value) {
            QMetaObject::invokeMethod(
                context,
                [target, value] {
                    if (target)
                        target->setProgress(value);
                },
                Qt::QueuedConnection);
        };
        return recordOutput(target, upscaleFile(request, *tiler, token, progress));
    };
}

void UpscaleViewModel::cancelProcessing() {
    requestCancel(isProcessing(),
                  QCoreApplication::translate("UpscaleViewModel", "Cancelling upscaling"));
}

} // namespace glintwork
