#include "upscale/UpscalePipeline.h"

#include <QFileInfo>

#include "batch/MoveWithoutReplacing.h"
#include "platform/CancellationToken.h"
#include "platform/ImageServices.h"
#include "platform/Orientation.h"
#include "upscale/AlphaEnlargement.h"
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
    const std::vector<TileBounds> windows = AutoTiler::windows(source->width, source->height, spec);
    const SourceSize size{double(source->width), double(source->height)};
    // The network enlarges colours only; the alpha of a source with transparency is
    // enlarged apart, once the colours are in place.
    const std::optional<AlphaPlane> alpha = alphaPlaneOf(*source);

    DnnUpscaler upscaler(request.model);
    upscaler.setCancellationToken(&token);
    progress(0.0);
    std::optional<Image> canvas;
    for (std::size_t j = 0; j < windows.size(); ++j) {
        token.check();
        // Cut when its turn comes, so the file holds the source and one tile, not every tile.
        const auto pixels = AutoTiler::pixels(source, windows[j]);
        if (!pixels)
            continue;
        const Image upscaled = upscaler.upscale(*pixels, request.factor, {});
        if (!canvas) {
            canvas = tiler.makeCanvas(size, spec);
            if (!canvas)
                throw UpscalePipelineError::mergeFailed();
        }
        tiler.paint(*canvas, windows[j], upscaled, spec);
        progress(double(j + 1) / double(windows.size()));
    }
    source.reset();
    token.check();
    if (!canvas)
        canvas = tiler.makeCanvas(size, spec);
    if (!canvas)
        throw UpscalePipelineError::mergeFailed();
    if (alpha)
        enlargeAlphaInto(*alpha, request.factor, *canvas);

    token.check();
    // The tiles' colours are straight and the alpha is the source's enlarged, so the canvas
    // now holds straight alpha. JPEG has no alpha: the encoder lays it on white.
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

} // namespace glintwork
