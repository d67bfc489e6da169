#pragma once

#include <array>

#include <QString>

#include "cutout/MaskPixelBuffer.h"
#include "platform/Image.h"

namespace glintwork {

// Segmentation networks in ONNX form, run by OpenCV's DNN module. A network may come with
// a JSON file of the same name (model.onnx → model.json) describing its input and output;
// see resources/models/README.md for the contract.
namespace OnnxSegmenter {

struct ModelContract {
    int inputWidth = 320;
    int inputHeight = 320;
    bool bgr = false; // channel order of the input tensor
    std::array<float, 3> mean{0.0f, 0.0f, 0.0f}; // subtracted from samples scaled to 0–1
    std::array<float, 3> std{1.0f, 1.0f, 1.0f};
    bool sigmoid = false;   // the output is a logit
    bool normalize = false; // stretch the output's own range to 0–1

    friend bool operator==(const ModelContract&, const ModelContract&) = default;
};

// The contract beside `modelPath`, or the defaults when there is none. Throws
// BackgroundRemoverError (visionRequestFailed) for a file that cannot be used.
[[nodiscard]] ModelContract readContract(const QString& modelPath);

// The network's output at its own resolution as a float buffer (0–1, subject high).
// Throws BackgroundRemoverError.
[[nodiscard]] MaskPixelBuffer run(const QString& modelPath, const Image& image);

// Subject mask at the source's resolution (float samples); noSubjectFound when no pixel
// reaches one half.
[[nodiscard]] MaskPixelBuffer subjectMask(const QString& modelPath, const Image& image);

// Person matte at the network's resolution, as one 8-bit component.
[[nodiscard]] MaskPixelBuffer personMatte(const QString& modelPath, const Image& image);

} // namespace OnnxSegmenter
} // namespace glintwork
