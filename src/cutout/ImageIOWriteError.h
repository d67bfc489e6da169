#pragma once

#include <memory>
#include <optional>

#include <QString>

#include "cutout/CutoutSettings.h"
#include "cutout/ImageMetadata.h"
#include "platform/DescribedError.h"
#include "platform/Image.h"

namespace glintwork {

class PartFile;

// Why a cut-out or mask file could not be written. `filename` is the last path component
// of the destination.
class ImageIOWriteError : public DescribedError {
public:
    enum class Kind {
        destinationCreationFailed,
        finalizeFailed,
        missingColorSpace,
        // The file system refused the file; `reason` is its own text ("No space left on
        // device"), which says more than a failed finalize.
        fileSystemFailed,
    };

    ImageIOWriteError(Kind kind, QString filename = {}, QString reason = {})
        : m_kind(kind), m_filename(std::move(filename)), m_reason(std::move(reason)) {}

    [[nodiscard]] Kind kind() const { return m_kind; }
    [[nodiscard]] const QString& filename() const { return m_filename; }
    [[nodiscard]] const QString& reason() const { return m_reason; }
    [[nodiscard]] QString description() const override;

    friend bool operator==(const ImageIOWriteError& a, const ImageIOWriteError& b) {
        return a.m_kind == b.m_kind && a.m_filename == b.m_filename && a.m_reason == b.m_reason;
    }

private:
    Kind m_kind;
    QString m_filename;
    QString m_reason;
};

// Encodes `image` as PNG or TIFF (LZW) with its colour profile embedded and the source's
// orientation, resolution and EXIF carried over; pixels are never rotated, so the
// orientation is written back unchanged. The file is written into a part file and
// published like every output (publishPartFile): never replacing anything, the first free
// "stem-N" name when something appeared at `path` meanwhile, and a name too long for the
// file system shortened in the middle of its stem. Returns the path written. A failure
// leaves no file. Throws ImageIOWriteError, or FileSystemError when the folder cannot be
// made.
[[nodiscard]] QString write(const Image& image, const QString& path, CutoutOutputFormat format,
                            const std::optional<ImageMetadata>& sourceMetadata);

// The part file an output at `path` will be written through, claimed before any work, so
// that a folder that refuses files fails the file at once. Throws as write does.
[[nodiscard]] std::unique_ptr<PartFile> claimDestination(const QString& path);

// write() into a part file claimed beforehand for `path`.
[[nodiscard]] QString write(const Image& image, PartFile& part, const QString& path,
                            CutoutOutputFormat format,
                            const std::optional<ImageMetadata>& sourceMetadata);

} // namespace glintwork
