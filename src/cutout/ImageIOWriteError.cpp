#include "cutout/ImageIOWriteError.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUuid>

#include "batch/MoveWithoutReplacing.h"
#include "naming/OutputNamer.h"
#include "platform/ExitCleanup.h"
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

// Removes the temporary file unless it was published.
class TemporaryOutput {
public:
    explicit TemporaryOutput(QString path) : m_path(std::move(path)), m_abruptExit(m_path) {}
    ~TemporaryOutput() {
        if (!m_released)
            QFile::remove(m_path);
    }
    TemporaryOutput(const TemporaryOutput&) = delete;
    TemporaryOutput& operator=(const TemporaryOutput&) = delete;

    [[nodiscard]] const QString& path() const { return m_path; }
    void release() {
        m_released = true;
        m_abruptExit.reset();
    }

private:
    QString m_path;
    bool m_released = false;
    ExitCleanup::FileRegistration m_abruptExit;
};

ImageIOWriteError writeFailure(const ImageServiceError& error, const QString& filename) {
    if (error.errorNumber() != 0)
        return ImageIOWriteError(ImageIOWriteError::Kind::fileSystemFailed, filename,
                                 error.reason());
    return ImageIOWriteError(ImageIOWriteError::Kind::finalizeFailed, filename);
}

} // namespace

QString write(const Image& image, const QString& path, CutoutOutputFormat format,
              const std::optional<ImageMetadata>& sourceMetadata) {
    const QFileInfo destination(path);
    const QString filename = destination.fileName();
    if (image.colorSpace.kind == ColorSpace::Kind::none)
        throw ImageIOWriteError(ImageIOWriteError::Kind::missingColorSpace);
    const QFileInfo folderInfo(destination.absolutePath());
    const QDir folder(destination.absolutePath());
    if (filename.isEmpty() || !folderInfo.isDir() || !folderInfo.isWritable())
        throw ImageIOWriteError(ImageIOWriteError::Kind::destinationCreationFailed, filename);

    WriteMetadata properties;
    if (sourceMetadata)
        sourceMetadata->merge(properties);

    // Hidden, beside the destination, so publishing is a rename on one file system.
    // Hidden, beside the destination, so publishing is a rename on one file system; a
    // fixed-length name, so the temporary file fits wherever the destination's name does.
    TemporaryOutput temporary(folder.absoluteFilePath(
        QStringLiteral(".glintwork-%1.part").arg(QUuid::createUuid().toString(QUuid::Id128))));
    try {
        if (format == CutoutOutputFormat::tiff)
            ImageServices::writeTIFF(image, temporary.path(), properties);
        else
            ImageServices::writePNG(image, temporary.path(), properties);
    } catch (const ImageServiceError& error) {
        throw writeFailure(error, filename);
    } catch (...) {
        throw ImageIOWriteError(ImageIOWriteError::Kind::finalizeFailed, filename);
    }

    const QString stem = destination.completeBaseName();
    const QString extension =
        destination.suffix().isEmpty() ? QString() : QLatin1Char('.') + destination.suffix();
    const qsizetype limit = OutputNamer::nameLimit(folder.absolutePath());
    for (int n = 0; n < 100000; ++n) {
        const QString tail = n == 0 ? extension : QStringLiteral("-%1%2").arg(n).arg(extension);
        const QString candidate =
            folder.absoluteFilePath(OutputNamer::fittedStem(stem, tail, limit) + tail);
        try {
            if (moveWithoutReplacing(temporary.path(), candidate)) {
                temporary.release();
                return candidate;
            }
        } catch (...) {
            throw ImageIOWriteError(ImageIOWriteError::Kind::finalizeFailed, filename);
        }
    }
    throw ImageIOWriteError(ImageIOWriteError::Kind::finalizeFailed, filename);
}

} // namespace glintwork
