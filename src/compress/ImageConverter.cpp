#include "compress/ImageConverter.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <exception>
#include <utility>

#include <fcntl.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <QUuid>

#include "batch/FileService.h"
#include "batch/MoveWithoutReplacing.h"
#include "platform/ProcessRunner.h"
#include "compress/ToolManager.h"
#include "naming/OutputNamer.h"
#include "platform/CancellationToken.h"
#include "platform/ColorProfile.h"
#include "platform/Error.h"
#include "platform/ExitCleanup.h"
#include "platform/ImageServices.h"
#include "platform/Orientation.h"

namespace glintwork {

namespace {

// An encoder that ended unsuccessfully, named in words, with its exit status and its own
// words. One sentence per encoder, so that each language can word it.
Error encoderFailed(const QString& tool, int exitStatus, const QString& errorOutput) {
    const QString encoder = QFileInfo(tool).fileName();
    const char* text = nullptr;
    if (encoder == u"cwebp")
        text = QT_TRANSLATE_NOOP(
            "ConversionError", "The WebP encoder could not convert this file (exit status %1): %2");
    else if (encoder == u"cjpeg")
        text = QT_TRANSLATE_NOOP(
            "ConversionError", "The JPEG encoder could not convert this file (exit status %1): %2");
    else if (encoder == u"avifenc")
        text = QT_TRANSLATE_NOOP(
            "ConversionError", "The AVIF encoder could not convert this file (exit status %1): %2");
    else if (encoder == u"oxipng")
        text =
            QT_TRANSLATE_NOOP("ConversionError",
                              "The PNG optimiser could not convert this file (exit status %1): %2");
    else if (encoder == u"glintwork-heic-encoder")
        text = QT_TRANSLATE_NOOP(
            "ConversionError", "The HEIC encoder could not convert this file (exit status %1): %2");
    else
        text = QT_TRANSLATE_NOOP("ConversionError",
                                 "The encoder could not convert this file (exit status %1): %2");
    // Both placeholders in one pass, as the tool's own text may contain "%1".
    return Error(ErrorKind::encoderFailed,
                 QCoreApplication::translate("ConversionError", text)
                     .arg(QString::number(exitStatus), errorOutput),
                 {.file = tool, .reason = errorOutput});
}

Error imageDecodingFailed(const QString& path, const QString& reason) {
    return Error(ErrorKind::imageUnreadable,
                 QCoreApplication::translate("ConversionError", "Image decoding failed"),
                 {.file = path, .reason = reason});
}

Error outputFileNotCreated(const QString& reason = {}) {
    return Error(ErrorKind::outputNotCreated,
                 QCoreApplication::translate("ConversionError", "Output file was not created"),
                 {.reason = reason});
}

// The encoder's own output, or its failure as this file's conversion error.
QByteArray outputOf(const QString& tool, ProcessResult result) {
    if (result.exitStatus != 0)
        throw encoderFailed(tool, result.exitStatus, result.errorOutput);
    return std::move(result.output);
}

QByteArray runEncoder(const QString& tool, const QStringList& arguments, bool captureStdout,
                      CancellationToken& token) {
    return outputOf(tool, runProcessToExit(tool, arguments, captureStdout, token));
}

// glintwork-heic-encoder's exit status for an input it cannot decode.
constexpr int kHeicEncoderUndecodableInput = 65;

void removeQuietly(const QString& path) noexcept {
    try {
        if (!path.isEmpty())
            ::unlink(QFile::encodeName(path).constData());
    } catch (...) {
    }
}

// Removes a temporary file when the scope ends, however it ends.
class TemporaryFileRemoval {
public:
    explicit TemporaryFileRemoval(QString path) : m_path(std::move(path)), m_abruptExit(m_path) {}
    TemporaryFileRemoval(const TemporaryFileRemoval&) = delete;
    TemporaryFileRemoval& operator=(const TemporaryFileRemoval&) = delete;
    ~TemporaryFileRemoval() { removeQuietly(m_path); }

private:
    QString m_path;
    ExitCleanup::FileRegistration m_abruptExit;
};

[[nodiscard]] QString lowerSuffix(const QString& path) {
    return QFileInfo(path).suffix().toLower();
}

[[nodiscard]] int storedOrientation(const QString& path) {
    const auto properties = ImageServices::readProperties(path);
    return properties ? properties->orientation.value_or(1) : 1;
}

// Whether an encoder may read the file as it is. Outputs carry no orientation tag, so the
// file must be stored upright; and its numbers must be sRGB, because the encoders drop a
// PNG's or JPEG's profile (or cannot read CMYK at all) and leave the numbers unchanged.
[[nodiscard]] bool isReadyForEncoder(const QString& path) {
    const auto properties = ImageServices::readProperties(path);
    if (!properties)
        return true; // the encoder's own reading reports what is wrong with it
    const int orientation = properties->orientation.value_or(1);
    return (orientation < 2 || orientation > 8) && !properties->needsColorConversion;
}

[[nodiscard]] Image decodeUpright(const QString& path) {
    try {
        const int orientation = storedOrientation(path);
        return applyOrientation(ImageServices::decode(path), orientation);
    } catch (const Error& error) {
        if (error.kind() == ErrorKind::imageTooLarge)
            throw; // its own text says what is wrong, unlike a generic decoding failure
        throw imageDecodingFailed(path, error.reasonOrText());
    }
}

// 8-bit sRGB for encoders that would ignore a colour profile. Without `keepAlpha` (or
// without alpha in the image) the result is opaque RGB, composited over white.
[[nodiscard]] Image toSRGB8(const Image& image, bool keepAlpha) {
    Image rgba = ImageServices::toRGBA8(image);
    if (keepAlpha && image.hasAlpha())
        return rgba;
    Image rgb = Image::make(rgba.width, rgba.height, 8, AlphaInfo::none, ColorSpace::sRGB(), 3);
    for (int y = 0; y < rgba.height; ++y) {
        const std::uint8_t* in = rgba.row(y);
        std::uint8_t* out = rgb.row(y);
        for (int x = 0; x < rgba.width; ++x, in += 4, out += 3) {
            const unsigned a = in[3];
            for (int c = 0; c < 3; ++c)
                out[c] = static_cast<std::uint8_t>((in[c] * a + 255u * (255u - a) + 127u) / 255u);
        }
    }
    return rgb;
}

// The temporary PNG a helper executable reads instead of an input it cannot read, or one
// that had to be turned upright or scaled.
[[nodiscard]] ImageConverter::PreparedInput writeTemporaryPNG(const Image& image) {
    const QUrl url = ImageConverter::makeTempURL(QStringLiteral("png"));
    ImageConverter::PreparedInput prepared(url, url);
    try {
        ImageServices::writePNG(image, url.toLocalFile());
    } catch (const Error& error) {
        throw outputFileNotCreated(error.reasonOrText());
    }
    return prepared;
}

// Whether a decoded image must become 8-bit sRGB before it is written for an encoder:
// PNG stores no CMYK or float samples, and no encoder keeps every profile.
[[nodiscard]] bool needsSRGB8(const Image& image) {
    return image.isFloat || image.colorComponentsPerPixel() == 4 ||
           (image.colorSpace.kind == ColorSpace::Kind::icc &&
            !ColorProfile::isSRGB(image.colorSpace.iccProfile));
}

// The input itself when `acceptsDirectly` it and no limit applies, otherwise a temporary
// PNG of the upright, scaled image in sRGB (at its own depth when it already is sRGB).
template <typename AcceptsDirectly>
[[nodiscard]] ImageConverter::PreparedInput
prepareInput(const QUrl& input, std::optional<int> maxWidth, std::optional<int> maxHeight,
             AcceptsDirectly acceptsDirectly, CancellationToken& cancellation) {
    const QString path = input.toLocalFile();
    if (!maxWidth && !maxHeight && acceptsDirectly(lowerSuffix(path)) && isReadyForEncoder(path))
        return ImageConverter::PreparedInput(input);
    cancellation.check();
    Image image = decodeUpright(path);
    if (auto smaller = ImageConverter::resizedImage(image, maxWidth, maxHeight))
        image = *std::move(smaller);
    cancellation.check();
    if (needsSRGB8(image)) {
        try {
            image = toSRGB8(image, true);
        } catch (const Error& error) {
            throw outputFileNotCreated(error.reasonOrText());
        }
    }
    return writeTemporaryPNG(image);
}

void convertToWebP(const QUrl& input, const QString& output, int quality,
                   std::optional<int> maxWidth, std::optional<int> maxHeight,
                   CancellationToken& cancellation) {
    const QString cwebp = ToolManager::toolPath(QStringLiteral("cwebp"));
    // cwebp scales by itself, so the limits do not call for a temporary file.
    const ImageConverter::PreparedInput prepared = prepareInput(
        input, std::nullopt, std::nullopt,
        [](const QString& ext) { return ImageConverter::cwebpSupportedExtensions().contains(ext); },
        cancellation);
    QStringList arguments{QStringLiteral("-q"), QString::number(quality), QStringLiteral("-m"),
                          QStringLiteral("6")};
    if (const auto size = ImageConverter::computeTargetSize(prepared.url(), maxWidth, maxHeight))
        arguments << QStringLiteral("-resize") << QString::number(size->width)
                  << QString::number(size->height);
    arguments << prepared.url().toLocalFile() << QStringLiteral("-o") << output;
    (void)runEncoder(cwebp, arguments, false, cancellation);
}

void writeBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(bytes) != bytes.size() || !file.flush()) {
        throw Error(
            ErrorKind::writeFailed,
            QCoreApplication::translate("ImageConverter", "Could not write the output file: %1")
                .arg(file.errorString()),
            {.file = path, .reason = file.errorString()});
    }
}

void convertToJPEG(const QUrl& input, const QString& output, int quality,
                   std::optional<int> maxWidth, std::optional<int> maxHeight,
                   CancellationToken& cancellation) {
    const QString cjpeg = ToolManager::toolPath(QStringLiteral("cjpeg"));
    const QString tga = ImageConverter::makeTempURL(QStringLiteral("tga")).toLocalFile();
    const TemporaryFileRemoval tgaRemoval(tga);

    cancellation.check();
    Image image = decodeUpright(input.toLocalFile());
    if (auto smaller = ImageConverter::resizedImage(image, maxWidth, maxHeight))
        image = *std::move(smaller);
    // TGA carries no colour profile, and cjpeg would keep whatever colour sat under
    // transparent pixels: hand it opaque sRGB.
    try {
        ImageServices::writeTGA(toSRGB8(image, false), tga);
    } catch (const Error& error) {
        // The system's own words ("No space left on device") tell the user what to fix.
        const QString& reason = error.reasonOrText();
        throw Error(
            ErrorKind::writeFailed,
            QCoreApplication::translate("ConversionError", "TGA export failed: %1").arg(reason),
            {.file = tga, .errorNumber = error.errorNumber(), .reason = reason});
    }
    image = Image();

    const QByteArray jpeg = runEncoder(cjpeg,
                                       {QStringLiteral("-quality"), QString::number(quality),
                                        QStringLiteral("-optimize"), QStringLiteral("-progressive"),
                                        QStringLiteral("-targa"), tga},
                                       true, cancellation);
    writeBytes(output, jpeg);
}

void convertToPNG(const QUrl& input, const QString& output, int quality,
                  std::optional<int> maxWidth, std::optional<int> maxHeight,
                  CancellationToken& cancellation) {
    cancellation.check();
    PNGQuantizer::quantize(input.toLocalFile(), output, quality, maxWidth, maxHeight, &cancellation);
    const QString oxipngName = QStringLiteral("oxipng");
    if (!ToolManager::isToolAvailable(oxipngName))
        return;
    (void)runEncoder(ToolManager::toolPath(oxipngName),
                     {QStringLiteral("-o"), QStringLiteral("4"), QStringLiteral("--strip"),
                      QStringLiteral("safe"), output},
                     false, cancellation);
}

// In a child process, so that cancelling ends the encoder instead of waiting for it.
void convertToHEIC(const QUrl& input, const QString& output, int quality,
                   std::optional<int> maxWidth, std::optional<int> maxHeight,
                   CancellationToken& cancellation) {
    const QString encoder = ToolManager::toolPath(QStringLiteral("glintwork-heic-encoder"));
    const ImageConverter::PreparedInput prepared = prepareInput(
        input, maxWidth, maxHeight, [](const QString&) { return true; }, cancellation);
    ProcessResult result = runProcessToExit(encoder,
                                            {QString::number(ImageConverter::heicQuality(quality)),
                                             prepared.url().toLocalFile(), output},
                                            false, cancellation);
    if (result.exitStatus == kHeicEncoderUndecodableInput)
        throw imageDecodingFailed(input.toLocalFile(), result.errorOutput);
    (void)outputOf(encoder, std::move(result));
}

void convertToAVIF(const QUrl& input, const QString& output, int quality,
                   std::optional<int> maxWidth, std::optional<int> maxHeight,
                   CancellationToken& cancellation) {
    const QString avifenc = ToolManager::toolPath(QStringLiteral("avifenc"));
    const ImageConverter::PreparedInput prepared = prepareInput(
        input, maxWidth, maxHeight,
        [](const QString& ext) {
            return ImageConverter::avifencSupportedExtensions().contains(ext);
        },
        cancellation);
    // avifenc only warns about a truncated JPEG and encodes the missing part as grey; the
    // decoders here fail on it. A decode costs little beside the AVIF encoder's run.
    if (!prepared.tempFile()) {
        cancellation.check();
        (void)decodeUpright(prepared.url().toLocalFile());
    }
    const QString quantizer = QString::number(ImageConverter::avifQuantizer(quality));
    (void)runEncoder(avifenc,
                     {QStringLiteral("--min"), quantizer, QStringLiteral("--max"), quantizer,
                      QStringLiteral("--speed"), QStringLiteral("4"), prepared.url().toLocalFile(),
                      output},
                     false, cancellation);
}

void encode(OutputFormat format, const QUrl& input, const QString& output, int quality,
            std::optional<int> maxWidth, std::optional<int> maxHeight,
            CancellationToken& cancellation) {
    switch (format) {
    case OutputFormat::webp:
        return convertToWebP(input, output, quality, maxWidth, maxHeight, cancellation);
    case OutputFormat::jpeg:
        return convertToJPEG(input, output, quality, maxWidth, maxHeight, cancellation);
    case OutputFormat::png:
        return convertToPNG(input, output, quality, maxWidth, maxHeight, cancellation);
    case OutputFormat::heic:
        return convertToHEIC(input, output, quality, maxWidth, maxHeight, cancellation);
    case OutputFormat::avif:
        return convertToAVIF(input, output, quality, maxWidth, maxHeight, cancellation);
    }
}

// Less room than any output we write would need: a failed write there ran out of space.
[[nodiscard]] bool isNearlyFull(const QString& folder) {
    struct statvfs info {};
    if (::statvfs(QFile::encodeName(folder).constData(), &info) != 0)
        return false;
    constexpr unsigned long long kNearlyFull = 1024 * 1024;
    return (unsigned long long)info.f_bavail * info.f_frsize < kNearlyFull;
}

// Failures that happen before anything is written are never the disk's fault.
[[nodiscard]] bool failedWhileWriting(const std::exception_ptr& failure) {
    try {
        std::rethrow_exception(failure);
    } catch (const Error& error) {
        switch (error.kind()) {
        case ErrorKind::imageUnreadable:
        case ErrorKind::imageTooLarge:
        case ErrorKind::unsupportedFormat:
        case ErrorKind::toolNotFound:
        case ErrorKind::resourceFolderMissing:
            return false;
        default:
            return true;
        }
    } catch (...) {
        return true;
    }
}

} // namespace

ImageConverter::PreparedInput::PreparedInput(QUrl url, std::optional<QUrl> tempFile)
    : m_url(std::move(url)), m_tempFile(std::move(tempFile)) {
    if (m_tempFile)
        m_abruptExit = ExitCleanup::FileRegistration(m_tempFile->toLocalFile());
}

ImageConverter::PreparedInput::PreparedInput(PreparedInput&& other) noexcept
    : m_url(std::move(other.m_url)), m_tempFile(std::exchange(other.m_tempFile, std::nullopt)),
      m_abruptExit(std::move(other.m_abruptExit)) {}

ImageConverter::PreparedInput&
ImageConverter::PreparedInput::operator=(PreparedInput&& other) noexcept {
    if (this != &other) {
        cleanup();
        m_url = std::move(other.m_url);
        m_tempFile = std::exchange(other.m_tempFile, std::nullopt);
        m_abruptExit = std::move(other.m_abruptExit);
    }
    return *this;
}

ImageConverter::PreparedInput::~PreparedInput() {
    cleanup();
}

void ImageConverter::PreparedInput::cleanup() noexcept {
    if (!m_tempFile)
        return;
    removeQuietly(m_tempFile->toLocalFile());
    m_tempFile.reset();
    m_abruptExit.reset();
}

QUrl ImageConverter::convert(const QUrl& input, const QUrl& outputDirectory, OutputFormat format,
                             int quality, std::optional<int> maxWidth, std::optional<int> maxHeight,
                             const std::optional<QUrl>& customOutputURL,
                             CancellationToken& cancellation, const QSet<QUrl>& reserved) {
    cancellation.check();
    // A FIFO or a device would block the encoder that opens it, or never end.
    if (!QFileInfo(input.toLocalFile()).isFile())
        throw imageDecodingFailed(input.toLocalFile(), QStringLiteral("it is not a regular file"));
    // Encoders handed the file directly would otherwise try to allocate whatever a
    // hostile header claims.
    if (const auto header = ImageServices::readProperties(input.toLocalFile())) {
        if (qint64(header->pixelWidth) * header->pixelHeight > ImageServices::maxDecodePixels)
            throw ImageErrors::tooLarge(header->pixelWidth, header->pixelHeight);
    }

    const QUrl firstChoice =
        customOutputURL && !customOutputURL->isEmpty()
            ? *customOutputURL
            : OutputNamer::ensureUnique(OutputNamer::outputURL(outputDirectory, OutputNamer::stemOf(input),
                                                               fileExtension(format)),
                                        reserved);
    PartFile part(QFileInfo(firstChoice.toLocalFile()).absolutePath());

    try {
        encode(format, input, part.path(), quality, maxWidth, maxHeight, cancellation);
        const QFileInfo written(part.path());
        // The file was created empty before the encoder ran, so empty means not written.
        if (!written.exists() || written.size() == 0)
            throw outputFileNotCreated();
        return publishPartFile(part, firstChoice, reserved);
    } catch (...) {
        // Measured before the part file goes and frees its space.
        const bool diskFull =
            isNearlyFull(QFileInfo(part.path()).absolutePath()) || isNearlyFull(QDir::tempPath());
        part.remove();
        // A child terminated on cancellation, or a file it left half-written, is the
        // cancellation's doing, not a failure of its own.
        if (cancellation.isCancelled())
            throw CancelledError();
        // Encoders and writers describe a full disk in words of their own, or not at all.
        if (diskFull && failedWhileWriting(std::current_exception()))
            throw Error(ErrorKind::writeFailed, systemErrorText(ENOSPC),
                        {.file = firstChoice.toLocalFile(), .errorNumber = ENOSPC});
        throw;
    }
}

const QSet<QString>& ImageConverter::cwebpSupportedExtensions() {
    static const QSet<QString> extensions{QStringLiteral("png"),  QStringLiteral("jpg"),
                                          QStringLiteral("jpeg"), QStringLiteral("tiff"),
                                          QStringLiteral("tif"),  QStringLiteral("webp")};
    return extensions;
}

const QSet<QString>& ImageConverter::avifencSupportedExtensions() {
    static const QSet<QString> extensions{QStringLiteral("png"), QStringLiteral("jpg"),
                                          QStringLiteral("jpeg")};
    return extensions;
}

QUrl ImageConverter::makeTempURL(const QString& ext) {
    return QUrl::fromLocalFile(QDir::tempPath() + QLatin1Char('/') +
                               QUuid::createUuid().toString(QUuid::WithoutBraces) +
                               QLatin1Char('.') + ext);
}

std::optional<PNGQuantizer::TargetSize>
ImageConverter::computeTargetSize(const QUrl& file, std::optional<int> maxWidth,
                                  std::optional<int> maxHeight) {
    if (!maxWidth && !maxHeight)
        return std::nullopt;
    const auto properties = ImageServices::readProperties(file.toLocalFile());
    if (!properties || properties->pixelWidth < 1 || properties->pixelHeight < 1)
        return std::nullopt;
    const int width = properties->pixelWidth;
    const int height = properties->pixelHeight;
    const auto size = PNGQuantizer::targetSize(width, height, maxWidth, maxHeight);
    if (size.width == width && size.height == height)
        return std::nullopt;
    return size;
}

std::optional<Image> ImageConverter::resizedImage(const Image& image, std::optional<int> maxWidth,
                                                  std::optional<int> maxHeight) {
    if (!maxWidth && !maxHeight)
        return std::nullopt;
    const auto size = PNGQuantizer::targetSize(image.width, image.height, maxWidth, maxHeight);
    if (size.width == image.width && size.height == image.height)
        return std::nullopt;
    // Going on at full size would ignore the user's limit and still report success.
    try {
        return ImageServices::downscale(image, size.width, size.height);
    } catch (const Error& error) {
        throw Error(ErrorKind::unsupportedFormat,
                    QCoreApplication::translate(
                        "ImageConverter", "The image could not be scaled to the maximum size: %1")
                        .arg(error.reasonOrText()),
                    {.reason = error.reasonOrText()});
    }
}

int ImageConverter::avifQuantizer(int quality) {
    const double value = (100.0 - double(quality)) / 100.0 * 63.0;
    return static_cast<int>(std::trunc(std::clamp(value, 0.0, 63.0)));
}

double ImageConverter::heicQuality(int quality) {
    return double(quality) / 100.0;
}

} // namespace glintwork
