#include "cutout/CutoutWriter.h"

#include <memory>
#include <optional>

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include "batch/FileService.h"
#include "batch/MoveWithoutReplacing.h"
#include "platform/Error.h"
#include "platform/ImageServices.h"

namespace glintwork::CutoutWriter {

namespace {

Error destinationRefused(const QString& path) {
    return Error(
        ErrorKind::destinationRefused,
        QCoreApplication::translate("CutoutWriter", "Could not create an image destination for %1.")
            .arg(QFileInfo(path).fileName()),
        {.file = path});
}

Error notWritten(const QString& path, const QString& reason = {}) {
    return Error(
        ErrorKind::writeFailed,
        QCoreApplication::translate("CutoutWriter", "Failed to finalize image data for %1.")
            .arg(QFileInfo(path).fileName()),
        {.file = path, .reason = reason});
}

Error missingColorSpace() {
    return Error(ErrorKind::missingColorSpace,
                 QCoreApplication::translate(
                     "CutoutWriter",
                     "Cannot save an image without a color space; ICC profile would be lost."));
}

// The file system refused the file; its own words ("No space left on device") say more
// than "failed to finalize".
Error fileSystemRefused(const QString& path, int errorNumber, const QString& reason) {
    return Error(ErrorKind::writeFailed,
                 QCoreApplication::translate("CutoutWriter", "Could not write %1: %2.")
                     .arg(QFileInfo(path).fileName(), reason),
                 {.file = path, .errorNumber = errorNumber, .reason = reason});
}

Error writeFailure(const Error& error, const QString& path) {
    if (const std::optional<int> errorNumber = error.errorNumber())
        return fileSystemRefused(path, *errorNumber, error.reason());
    return notWritten(path, error.reasonOrText());
}

} // namespace

std::unique_ptr<PartFile> claimDestination(const QString& path) {
    const QFileInfo destination(path);
    if (destination.fileName().isEmpty())
        throw destinationRefused(path);
    try {
        return std::make_unique<PartFile>(destination.absolutePath());
    } catch (const Error&) {
        // A folder that cannot be made says so; one that is there but refuses the file is
        // the destination's failure.
        if (!QFileInfo(destination.absolutePath()).isDir())
            throw;
        throw destinationRefused(path);
    }
}

QString write(const Image& image, const QString& path, CutoutOutputFormat format,
              const std::optional<ImageMetadata>& sourceMetadata) {
    if (image.colorSpace.kind == ColorSpace::Kind::none)
        throw missingColorSpace();
    const std::unique_ptr<PartFile> part = claimDestination(path);
    return write(image, *part, path, format, sourceMetadata);
}

QString write(const Image& image, PartFile& part, const QString& path, CutoutOutputFormat format,
              const std::optional<ImageMetadata>& sourceMetadata) {
    if (image.colorSpace.kind == ColorSpace::Kind::none)
        throw missingColorSpace();
    WriteMetadata properties;
    if (sourceMetadata)
        sourceMetadata->merge(properties);
    try {
        if (format == CutoutOutputFormat::tiff)
            ImageServices::writeTIFF(image, part.path(), properties);
        else
            ImageServices::writePNG(image, part.path(), properties);
    } catch (const Error& error) {
        throw writeFailure(error, path);
    } catch (...) {
        throw notWritten(path);
    }
    try {
        return publishPartFile(part, QUrl::fromLocalFile(path), {}).toLocalFile();
    } catch (const Error& error) {
        throw notWritten(path, error.reasonOrText());
    } catch (...) {
        throw notWritten(path);
    }
}

} // namespace glintwork::CutoutWriter
