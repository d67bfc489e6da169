#include "cutout/BackgroundRemover.h"

#include <QFileInfo>

#include "cutout/BackgroundRemoverError.h"
#include "cutout/ClassicalSegmenter.h"
#include "cutout/OnnxSegmenter.h"
#include "platform/Resources.h"

namespace glintwork {

namespace {

std::optional<QString> modelFile(const QString& name) {
    const auto path = Resources::path(QStringLiteral("models/") + name);
    if (path && QFileInfo(*path).isFile())
        return path;
    return std::nullopt;
}

Image performMaskRequest(const Image& image) {
    if (const auto model = BackgroundRemover::subjectModelPath()) {
        const MaskPixelBuffer buffer = OnnxSegmenter::subjectMask(*model, image);
        return packedMask(buffer);
    }
    return packedMask(ClassicalSegmenter::segment(image));
}

Image performPersonMatteRequest(const Image& image) {
    if (const auto model = BackgroundRemover::personModelPath()) {
        const MaskPixelBuffer matte = OnnxSegmenter::personMatte(*model, image);
        if (personCoverage(matte) >= BackgroundRemover::kMinimumPersonCoverage)
            return packedMask(matte);
    }
    // No person back end, or no person in the picture: the subject mask stands in.
    return performMaskRequest(image);
}

} // namespace

std::optional<QString> BackgroundRemover::subjectModelPath() {
    return modelFile(QStringLiteral("subject-segmentation.onnx"));
}

std::optional<QString> BackgroundRemover::personModelPath() {
    return modelFile(QStringLiteral("person-segmentation.onnx"));
}

Image BackgroundRemover::generateMask(const Image& image) const {
    return performMaskRequest(image);
}

Image BackgroundRemover::generatePersonMatte(const Image& image) const {
    return performPersonMatteRequest(image);
}

} // namespace glintwork
