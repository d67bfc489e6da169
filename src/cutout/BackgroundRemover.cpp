#include "cutout/BackgroundRemover.h"

#include <new>

#include <QDir>
#include <QFileInfo>

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

} // namespace

BackgroundRemover::BackgroundRemover() = default;
BackgroundRemover::~BackgroundRemover() = default;

std::optional<QString> BackgroundRemover::subjectModelPath() {
    return modelFile(QStringLiteral("subject-segmentation.onnx"));
}

std::shared_ptr<const OnnxSegmenter::Network>
BackgroundRemover::network(Slot& slot, const std::optional<QString>& path) const {
    // Held while loading: files that start together wait for the one load.
    const std::lock_guard lock(m_mutex);
    if (!slot.looked) {
        slot.looked = true;
        if (path) {
            slot.path = *path;
            const QString name = QFileInfo(*path).fileName();
            try {
                slot.network = std::make_shared<const OnnxSegmenter::Network>(*path);
            } catch (const Error& error) {
                slot.failure = error;
            } catch (const std::bad_alloc&) {
                // Kept like any other failure: every file that needs the network says so.
                slot.failure = CutoutErrors::subjectDetectionFailed(
                    QStringLiteral("there is not enough memory to load %1").arg(name));
            } catch (...) {
                slot.failure = CutoutErrors::subjectDetectionFailed(
                    QStringLiteral("%1 could not be loaded: %2")
                        .arg(name, describeCurrentException()));
            }
        }
    }
    if (slot.failure)
        throw *slot.failure;
    return slot.network;
}

void BackgroundRemover::preloadSubjectNetwork() const {
    try {
        (void)network(m_subject, subjectModelPath());
    } catch (...) {
        // Reported by every request that needs the network.
    }
}

Image BackgroundRemover::generateMask(const Image& image) const {
    if (const auto subject = network(m_subject, subjectModelPath()))
        return packedMask(OnnxSegmenter::subjectMask(*subject, image));
    return packedMask(ClassicalSegmenter::segment(image));
}

} // namespace glintwork
