#pragma once

#include <array>
#include <memory>

#include <QString>

#include "cutout/MaskPixelBuffer.h"
#include "platform/Image.h"

namespace glintwork {

// Segmentation networks in ONNX form, run by the network executor. A network may come with
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
// Error (subjectDetectionFailed) for a file that cannot be used.
[[nodiscard]] ModelContract readContract(const QString& modelPath);

// One loaded network with its contract. Loading is the expensive part (the subject network
// holds 176 MB of weights), so a batch loads it once and shares it between its files.
// Passes run one at a time: the network keeps its working buffers between passes, and one
// pass already uses every core.
class Network {
public:
    // Throws Error (subjectDetectionFailed) for a file that cannot be used.
    explicit Network(const QString& modelPath);
    ~Network();
    Network(const Network&) = delete;
    Network& operator=(const Network&) = delete;

    // The network's output at its own resolution as a float buffer (0–1, subject high).
    // Safe to call from any thread. Throws Error (CutoutErrors).
    [[nodiscard]] MaskPixelBuffer run(const Image& image) const;
    [[nodiscard]] const ModelContract& contract() const { return m_contract; }

private:
    struct State;
    ModelContract m_contract;
    QString m_fileName;
    std::unique_ptr<State> m_state;
};

// Subject mask at the source's resolution (8-bit, bilinearly enlarged from the network's
// output); noSubjectFound when no pixel of the output reaches one half.
[[nodiscard]] MaskPixelBuffer subjectMask(const Network& network, const Image& image);

} // namespace OnnxSegmenter
} // namespace glintwork
