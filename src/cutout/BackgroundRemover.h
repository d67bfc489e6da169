#pragma once

#include <optional>

#include <QString>

#include "cutout/BackgroundRemoving.h"
#include "cutout/MaskPixelBuffer.h"

namespace glintwork {

// The remover the tool ships: ONNX segmentation networks when their files are in the
// resource folder (models/subject-segmentation.onnx for subject masks,
// models/person-segmentation.onnx for person mattes), else the built-in segmenter, which
// needs no model and finds no people. Looked up at every request; nothing is kept.
class BackgroundRemover : public BackgroundRemoving {
public:
    [[nodiscard]] Image generateMask(const Image& image) const override;
    [[nodiscard]] Image generatePersonMatte(const Image& image) const override;

    // A person matte is used only when at least this share of its pixels is person.
    static constexpr double kMinimumPersonCoverage = 0.005;

    [[nodiscard]] static std::optional<QString> subjectModelPath();
    [[nodiscard]] static std::optional<QString> personModelPath();
};

} // namespace glintwork
