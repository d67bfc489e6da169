#include "cutout/ImageIOWriteError.h"

#include <memory>
#include <optional>

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include "batch/FileService.h"
#include "batch/MoveWithoutReplacing.h"
#include "platform/ImageServices.h"

namespace glintwork {

QString ImageIOWriteError::description() const {
    const char* context = "ImageIOWriteError";
    switch (m_kind) {
    case Kind::destinationCreationFailed:
        return QCoreApplication::translate(context, "Could not create an image destination for %1.")
            .arg(m_filename);
    case Kind::finalizeFailed:
        return QCoreApplication::translate(context, "Failed to finalize image data for %1.")
            .arg(m_filename);
    case Kind::missingColorSpace:
        return QCoreApplication::translate(
            context, "Cannot save an image without a color space; ICC profile would be lost.");
    case Kind::fileSystemFailed:
        return QCoreApplication::translate(context, "Could not write %1: %2.")
            .arg(m_filename, m_reason);
    }
    return {};
}

namespace {

ImageIOWriteError writeFailure(const ImageServiceError& error, const QString& filename) {
    if (error.errorNumber() != 0)
        return ImageIOWriteError(ImageIOWriteError::Kind::fileSystemFailed, filename,
                                 error.reason());
    return ImageIOWriteError(ImageIOWriteError::Kind::finalizeFailed, filename);
}

} // namespace

std::unique_ptr<PartFile> claimDestination(const QString& path) {
    const QFileInfo destination(path);
    const QString filename = destination.fileName();
    if (filename.isEmpty())
        throw ImageIOWriteError(ImageIOWriteError::Kind::destinationCreationFailed, filename);
    try {
        return std::make_unique<PartFile>(destination.absolutePath());
    } catch (const FileSystemError&) {
        // A folder that cannot be made says so; one that is there but refuses the file is
        // the destination's failure.
        if (!QFileInfo(destination.absolutePath()).isDir())
            throw;
        throw ImageIOWriteError(ImageIOWriteError::Kind::destinationCreationFailed, filename);
    }
}

QString write(const Image& image, const QString& path, CutoutOutputFormat format,
              const std::optional<ImageMetadata>& sourceMetadata) {
    if (image.colorSpace.kind == ColorSpace::Kind::none)
        throw ImageIOWriteError(ImageIOWriteError::Kind::missingColorSpace);
    const std::unique_ptr<PartFile> part = claimDestination(path);
    return write(image, *part, path, format, sourceMetadata);
}

QString write(const Image& image, PartFile& part, const QString& path, CutoutOutputFormat format,
              const std::optional<ImageMetadata>& sourceMetadata) {
    const QString filename = QFileInfo(path).fileName();
    if (image.colorSpace.kind == ColorSpace::Kind::none)
        throw ImageIOWriteError(ImageIOWriteError::Kind::missingColorSpace);
    WriteMetadata properties;
    if (sourceMetadata)
        sourceMetadata->merge(properties);
    try {
        if (format == CutoutOutputFormat::tiff)
            ImageServices::writeTIFF(image, part.path(), properties);
        else
            ImageServices::writePNG(image, part.path(), properties);
    } catch (const ImageServiceError& error) {
        throw writeFailure(error, filename);
    } catch (...) {
        throw ImageIOWriteError(ImageIOWriteError::Kind::finalizeFailed, filename);
    }
    try {
        return publishPartFile(part, QUrl::fromLocalFile(path), {}).toLocalFile();
    } catch (...) {
        throw ImageIOWriteError(ImageIOWriteError::Kind::finalizeFailed, filename);
    }
}

} // namespace glintwork
