#pragma once

#include <optional>

#include <QString>

#include "cutout/CutoutSettings.h"
#include "cutout/ImageMetadata.h"
#include "platform/DescribedError.h"
#include "platform/Image.h"

namespace glintwork {

// Why a cut-out or mask file could not be written. `filename` is the last path component
// of the destination.
class ImageIOWriteError : public DescribedError {
public:
    enum class Kind { destinationCreationFailed, finalizeFailed, missingColorSpace };

    ImageIOWriteError(Kind kind, QString filename = {})
        : m_kind(kind), m_filename(std::move(filename)) {}

    [[nodiscard]] Kind kind() const { return m_kind; }
    [[nodiscard]] const QString& filename() const { return m_filename; }
    [[nodiscard]] QString description() const override;

    friend bool operator==(const ImageIOWriteError& a, const ImageIOWriteError& b) {
        return a.m_kind == b.m_kind && a.m_filename == b.m_filename;
    }

private:
    Kind m_kind;
    QString m_filename;
};

// Encodes `image` as PNG or TIFF (LZW) with its colour profile embedded and the source's
// orientation, resolution and EXIF carried over; pixels are never rotated, so the
// orientation is written back unchanged. The file is written under a temporary name and
// published without ever replacing anything: when something appeared at `path` after its
// name was chosen, the first free "stem-N" name is used instead. Returns the path
// written. A failure leaves no file. Throws ImageIOWriteError.
[[nodiscard]] QString write(const Image& image, const QString& path, CutoutOutputFormat format,
                            const std::optional<ImageMetadata>& sourceMetadata);

} // namespace glintwork
