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

// The remover the tool ships: ONNX segmentation networks when their files are in the
// resource folder (models/subject-segmentation.onnx for subject masks,
// models/person-segmentation.onnx for person mattes), else the built-in segmenter, which
// needs no model and finds no people. A network is loaded at its first request and kept
// for every later one, so a batch that holds one remover loads each network once; a
// network that fails to load fails every request with the same error.
class BackgroundRemover : public BackgroundRemoving {
public:
    BackgroundRemover();
    ~BackgroundRemover() override;

    [[nodiscard]] Image generateMask(const Image& image) const override;
    [[nodiscard]] Image generatePersonMatte(const Image& image) const override;

    // A person matte is used only when at least this share of its pixels is person.
    static constexpr double kMinimumPersonCoverage = 0.005;

    // Loads the subject network now, so that it loads while a run's first files decode;
    // a failure is kept for the requests that follow.
    void preloadSubjectNetwork() const;

    [[nodiscard]] static std::optional<QString> subjectModelPath();
    [[nodiscard]] static std::optional<QString> personModelPath();

private:
    struct Slot {
        bool looked = false;
        QString path; // of the network loaded, set once with `looked`
        std::shared_ptr<const OnnxSegmenter::Network> network;
        std::optional<Error> failure;
    };
    [[nodiscard]] std::shared_ptr<const OnnxSegmenter::Network>
    network(Slot& slot, const std::optional<QString>& path) const;
    [[nodiscard]] Image subjectMask(const Image& image) const;

    mutable std::mutex m_mutex;
    mutable Slot m_subject;
    mutable Slot m_person;
};

} // namespace glintwork
