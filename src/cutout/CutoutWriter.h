#pragma once

#include <memory>
#include <optional>

#include <QString>

#include "cutout/CutoutSettings.h"
#include "cutout/ImageMetadata.h"
#include "platform/Image.h"

namespace glintwork {

class PartFile;

// Writes cut-outs and mask files. Every failure is an Error whose text names the
// destination by its last path component.
namespace CutoutWriter {

// Encodes `image` as PNG or TIFF (LZW) with its colour profile embedded and the source's
// orientation, resolution and EXIF carried over; pixels are never rotated, so the
// orientation is written back unchanged. The file is written into a part file and
// published like every output (publishPartFile): never replacing anything, the first free
// "stem-N" name when something appeared at `path` meanwhile, and a name too long for the
// file system shortened in the middle of its stem. Returns the path written. A failure
// leaves no file. Throws Error: missingColorSpace, destinationRefused, writeFailed (with
// the system's error number when the file system refused), or fileSystemFailed when the
// folder cannot be made.
[[nodiscard]] QString write(const Image& image, const QString& path, CutoutOutputFormat format,
                            const std::optional<ImageMetadata>& sourceMetadata);

// The part file an output at `path` will be written through, claimed before any work, so
// that a folder that refuses files fails the file at once. Throws as write does.
[[nodiscard]] std::unique_ptr<PartFile> claimDestination(const QString& path);

// write() into a part file claimed beforehand for `path`.
[[nodiscard]] QString write(const Image& image, PartFile& part, const QString& path,
                            CutoutOutputFormat format,
                            const std::optional<ImageMetadata>& sourceMetadata);

} // namespace CutoutWriter
} // namespace glintwork
