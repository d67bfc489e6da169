#include "compress/ConversionSettings.h"

namespace glintwork {

QString keyword(OutputFormat format) {
    switch (format) {
    case OutputFormat::webp:
        return QStringLiteral("webp");
    case OutputFormat::jpeg:
        return QStringLiteral("jpeg");
    case OutputFormat::png:
        return QStringLiteral("png");
    case OutputFormat::heic:
        return QStringLiteral("heic");
    case OutputFormat::avif:
        return QStringLiteral("avif");
    }
    return {};
}

std::optional<OutputFormat> outputFormatFromKeyword(const QString& word) {
    for (OutputFormat format : kAllOutputFormats) {
        if (keyword(format) == word)
            return format;
    }
    return std::nullopt;
}

QString displayName(OutputFormat format) {
    switch (format) {
    case OutputFormat::webp:
        return QStringLiteral("WebP");
    case OutputFormat::jpeg:
        return QStringLiteral("JPEG");
    case OutputFormat::png:
        return QStringLiteral("PNG");
    case OutputFormat::heic:
        return QStringLiteral("HEIC");
    case OutputFormat::avif:
        return QStringLiteral("AVIF");
    }
    return {};
}

QString fileExtension(OutputFormat format) {
    return format == OutputFormat::jpeg ? QStringLiteral("jpg") : keyword(format);
}

const QSet<QString>& ConversionSettings::supportedExtensions() {
    static const QSet<QString> extensions{
        QStringLiteral("png"),  QStringLiteral("jpg"),  QStringLiteral("jpeg"),
        QStringLiteral("heic"), QStringLiteral("heif"), QStringLiteral("webp"),
        QStringLiteral("tiff"), QStringLiteral("tif"),  QStringLiteral("gif"),
        QStringLiteral("bmp"),  QStringLiteral("avif")};
    return extensions;
}

} // namespace glintwork
