#include "cutout/CutoutPipeline.h"

#include <QCoreApplication>
#include <QFileInfo>

#include "batch/FileService.h"
#include "cutout/AlphaComposition.h"
#include "cutout/CleanEdgeCompositor.h"
#include "cutout/ImageIOWriteError.h"
#include "cutout/ImageMetadata.h"
#include "platform/CancellationToken.h"
#include "platform/ImageServices.h"

namespace glintwork {

QString CutoutPipelineError::description() const {
    return QCoreApplication::translate("CutoutPipelineError", "Could not read source image at %1.")
        .arg(m_url.fileName());
}

CutoutOutcome runCutoutPipeline(const CutoutRequest& request, const BackgroundRemoving& remover,
                                CancellationToken& token) {
    token.check();
    Image source;
    try {
        source = ImageServices::decode(request.input.toLocalFile());
    } catch (const std::bad_alloc&) {
        throw;
    } catch (...) {
        throw CutoutPipelineError::sourceUnreadable(request.input);
    }
    const std::optional<ImageMetadata> metadata = ImageMetadata::read(request.input.toLocalFile());
    token.check();

    if (request.mode == CutoutMode::lossless)
        checkLosslessSource(source);
    const Image mask = request.mode == CutoutMode::cleanEdges ? remover.generatePersonMatte(source)
                                                              : remover.generateMask(source);
    token.check();

    const Image cutout = request.mode == CutoutMode::cleanEdges
                             ? CleanEdgeCompositor::composite(source, mask)
                             : withMaskAsAlpha(source, mask);
    token.check();

    FileService::ensureDirectory(
        QUrl::fromLocalFile(QFileInfo(request.outputURL.toLocalFile()).absolutePath()));
    CutoutOutcome outcome;
    outcome.outputURL = QUrl::fromLocalFile(
        write(cutout, request.outputURL.toLocalFile(), request.format, metadata));
    if (request.maskURL) {
        // The mask as the remover returned it, at the source's size: the compositor's
        // clean-up belongs to the cut-out, not to the exported mask.
        try {
            const Image grey = maskAsLinearGray(mask, source.width, source.height);
            outcome.maskURL = QUrl::fromLocalFile(
                write(grey, request.maskURL->toLocalFile(), CutoutOutputFormat::png, std::nullopt));
        } catch (...) {
            outcome.maskExportError = describeCurrentException();
        }
    }
    return outcome;
}

} // namespace glintwork
