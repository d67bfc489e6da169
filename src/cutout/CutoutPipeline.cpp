#include "cutout/CutoutPipeline.h"

#include <memory>

#include <QCoreApplication>

#include "batch/MoveWithoutReplacing.h"
#include "cutout/AlphaComposition.h"
#include "cutout/CleanEdgeCompositor.h"
#include "cutout/CutoutWriter.h"
#include "cutout/ImageMetadata.h"
#include "cutout/MaskResampling.h"
#include "platform/AbandonableWork.h"
#include "platform/CancellationToken.h"
#include "platform/Error.h"
#include "platform/ImageServices.h"

namespace glintwork {

namespace {

// A source that could not be opened or decoded; the decoder's own words are its reason.
Error sourceUnreadable(const QUrl& url, const QString& reason = {}) {
    return Error(ErrorKind::imageUnreadable,
                 QCoreApplication::translate("CutoutPipeline", "Could not read source image at %1.")
                     .arg(url.fileName()),
                 {.file = url.toLocalFile(), .reason = reason});
}

} // namespace

FileOutcome runCutoutPipeline(const CutoutRequest& request,
                              const std::shared_ptr<const BackgroundRemoving>& remover,
                              CancellationToken& token,
                              const std::function<void(double)>& progress) {
    const auto report = [&progress](double done) {
        if (progress)
            progress(done);
    };
    token.check();
    // Claimed first, so a folder that cannot be written fails the file before the network's
    // pass of several seconds.
    const QString outputPath = request.outputURL.toLocalFile();
    const std::unique_ptr<PartFile> part = CutoutWriter::claimDestination(outputPath);
    auto decoded = std::make_shared<Image>();
    Image& source = *decoded;
    try {
        source = ImageServices::decode(request.input.toLocalFile());
    } catch (const std::bad_alloc&) {
        throw;
    } catch (const Error& error) {
        if (error.kind() == ErrorKind::imageTooLarge)
            throw; // its own text says what is wrong, unlike a generic decoding failure
        throw sourceUnreadable(request.input, error.reasonOrText());
    } catch (...) {
        throw sourceUnreadable(request.input, describeCurrentException());
    }
    // CMYK has no place in a cut-out's RGB: the network and the output both take the sRGB
    // rendering of the source's profile.
    if (source.colorSpace.componentCount == 4 || source.colorComponentsPerPixel() == 4) {
        try {
            source = ImageServices::toRGBA8(source);
        } catch (const Error& error) {
            throw sourceUnreadable(request.input, error.reasonOrText());
        }
    }
    const std::optional<ImageMetadata> metadata = ImageMetadata::read(request.input.toLocalFile());
    token.check();
    report(0.1);

    if (request.mode == CutoutMode::lossless)
        checkLosslessSource(source);
    // A network's pass takes seconds and cannot stop halfway: a cancelled run leaves it
    // to finish alone, holding its own share of the source and the remover.
    auto found = std::make_shared<Image>();
    std::shared_ptr<const Image> shared = decoded;
    AbandonableWork::run(token,
                         [remover, shared, found] { *found = remover->generateMask(*shared); });
    const Image mask = std::move(*found);
    token.check();
    report(0.7);

    const Image cutout = request.mode == CutoutMode::cleanEdges
                             ? CleanEdgeCompositor::composite(source, mask)
                             : withMaskAsAlpha(source, mask);
    token.check();
    report(0.8);

    FileOutcome outcome;
    outcome.written = QUrl::fromLocalFile(
        CutoutWriter::write(cutout, *part, outputPath, request.format, metadata));
    if (request.maskURL) {
        // The mask as the remover returned it, at the source's size: the compositor's
        // clean-up belongs to the cut-out, not to the exported mask.
        try {
            const Image grey = maskAsLinearGray(mask, source.width, source.height);
            (void)CutoutWriter::write(grey, request.maskURL->toLocalFile(), CutoutOutputFormat::png,
                                      std::nullopt);
        } catch (...) {
            outcome.warning =
                QCoreApplication::translate("CutoutDriver", "Mask export failed: ") +
                describeCurrentException();
        }
    }
    return outcome;
}

} // namespace glintwork
