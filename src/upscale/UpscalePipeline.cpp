#include "upscale/UpscalePipeline.h"

#include <QCoreApplication>
#include <QFileInfo>

#include "batch/MoveWithoutReplacing.h"
#include "platform/CancellationToken.h"
#include "platform/Error.h"
#include "platform/ImageServices.h"
#include "platform/Orientation.h"
#include "upscale/AlphaEnlargement.h"
#include "upscale/DnnUpscaler.h"

namespace glintwork {

namespace {

constexpr int kTileSize = 512;
constexpr int kTileOverlap = 64;
constexpr double kJPEGQuality = 0.9;

Error sourceUnreadable(const QUrl& source, const QString& reason = {}) {
    return Error(ErrorKind::imageUnreadable,
                 QCoreApplication::translate("UpscalePipeline", "Could not read source image at ") +
                     source.fileName() + QStringLiteral("."),
                 {.file = source.toLocalFile(), .reason = reason});
}

// `reason` is what the encoder or the file system said, e.g. "No space left on device".
Error writeFailed(const QUrl& output, const QString& reason, std::optional<int> errorNumber) {
    return Error(
        ErrorKind::writeFailed,
        QCoreApplication::translate("UpscalePipeline", "Failed to write upscaled image to ") +
            output.fileName() + QStringLiteral(".") +
            (reason.isEmpty() ? QString() : QLatin1Char(' ') + reason),
        {.file = output.toLocalFile(), .errorNumber = errorNumber, .reason = reason});
}

Error tileMergeFailed() {
    return Error(ErrorKind::tileMergeFailed,
                 QCoreApplication::translate("UpscalePipeline",
                                             "Failed to merge upscaled tiles into final image."));
}

// The output would not fit the in-memory limit.
Error outputTooLarge(qint64 width, qint64 height) {
    return Error(
        ErrorKind::outputTooLarge,
        QCoreApplication::translate("UpscalePipeline",
                                    "The upscaled image would be %1 × %2 pixels, more than the %3 "
                                    "megapixels this program holds in memory.")
            .arg(width)
            .arg(height)
            .arg(kMaxUpscaledPixels / 1'000'000));
}

} // namespace

QUrl upscaleFile(const UpscaleRequest& request, const AutoTiler& tiler, CancellationToken& token,
                 const std::function<void(double)>& progress) {
    token.check();
    // Claimed first, so a folder that cannot be written fails the file before minutes of work.
    PartFile part(QFileInfo(request.outputURL.toLocalFile()).absolutePath());
    const QString path = request.input.toLocalFile();
    const auto properties = ImageServices::readProperties(path);
    if (!properties)
        throw sourceUnreadable(request.input);
    // Refuse an output that cannot be held before spending anything on it.
    const qint64 outWidth = qint64(properties->pixelWidth) * request.factor;
    const qint64 outHeight = qint64(properties->pixelHeight) * request.factor;
    if (outWidth * outHeight > kMaxUpscaledPixels)
        throw outputTooLarge(outWidth, outHeight);

    std::shared_ptr<const Image> source;
    try {
        // Upright like the compress tool's output, since the written file carries no tag.
        Image decoded = ImageServices::decode(path);
        decoded = applyOrientation(decoded, properties->orientation.value_or(1));
        source = std::make_shared<const Image>(ImageServices::toRGBA8(decoded));
    } catch (const Error& error) {
        throw sourceUnreadable(request.input, error.reasonOrText());
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
                throw tileMergeFailed();
        }
        tiler.paint(*canvas, windows[j], upscaled, spec);
        progress(double(j + 1) / double(windows.size()));
    }
    source.reset();
    token.check();
    if (!canvas)
        canvas = tiler.makeCanvas(size, spec);
    if (!canvas)
        throw tileMergeFailed();
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
    } catch (const Error& error) {
        throw writeFailed(request.outputURL, error.reason(), error.errorNumber());
    }
    canvas.reset();
    token.check();
    return publishPartFile(part, request.outputURL, request.reserved);
}

} // namespace glintwork
