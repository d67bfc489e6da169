#pragma once

#include <memory>
#include <mutex>
#include <optional>

#include <QString>

#include "cutout/CutoutErrors.h"
#include "cutout/BackgroundRemoving.h"
#include "cutout/MaskPixelBuffer.h"

namespace glintwork {

namespace OnnxSegmenter {
class Network;
}

// The remover the tool ships: the ONNX segmentation network when its file is in the
// resource folder (models/subject-segmentation.onnx), else the built-in segmenter, which
// needs no model. The network is loaded at the first request and kept for every later one,
// so a batch that holds one remover loads it once; a network that fails to load fails
// every request with the same error.
class BackgroundRemover : public BackgroundRemoving {
public:
    BackgroundRemover();
    ~BackgroundRemover() override;

    [[nodiscard]] Image generateMask(const Image& image) const override;

    // Loads the subject network now, so that it loads while a run's first files decode;
    // a failure is kept for the requests that follow.
    void preloadSubjectNetwork() const;

    [[nodiscard]] static std::optional<QString> subjectModelPath();

private:
    struct Slot {
        bool looked = false;
        QString path; // of the network loaded, set once with `looked`
        std::shared_ptr<const OnnxSegmenter::Network> network;
        std::optional<Error> failure;
    };
    [[nodiscard]] std::shared_ptr<const OnnxSegmenter::Network>
    network(Slot& slot, const std::optional<QString>& path) const;

    mutable std::mutex m_mutex;
    mutable Slot m_subject;
};

} // namespace glintwork
