#include "platform/ImageServices.h"

#include <mutex>

#include <vips/vips8>

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

namespace glintwork {

using vips::VError;
using vips::VImage;

namespace {

void ensureVipsStarted() {
    static std::once_flag once;
    std::call_once(once, [] {
        if (VIPS_INIT("glintwork") != 0)
            throw ImageServiceError(ImageServiceError::Kind::unreadable,
                                    QStringLiteral("the image library could not start"));
        // libvips caches loads by file name and would hand back stale pixels after a file
        // is rewritten in place, which a batch tool does all the time.
        vips_cache_set_max(0);
    });
}

// libvips messages look like `VipsForeignLoad: "x.png" is not a known file format` and
// may continue with lines of detail; the user needs the first statement only.
[[maybe_unused]] QString usefulLine(const char* text) {
    static const QRegularExpression prefix(QStringLiteral("^[A-Za-z0-9_]+: "));
    const QStringList lines = QString::fromUtf8(text).split(QLatin1Char('\n'));
    for (QString line : lines) {
        line = line.trimmed();
        line.remove(prefix);
        if (!line.isEmpty())
            return line;
    }
    return QStringLiteral("unknown error");
}

QByteArray nativePath(const QString& path) { return QFile::encodeName(path); }

int bitsOf(VipsBandFormat format) {
    switch (format) {
    case VIPS_FORMAT_UCHAR:
    case VIPS_FORMAT_CHAR:
        return 8;
    case VIPS_FORMAT_USHORT:
    case VIPS_FORMAT_SHORT:
        return 16;
    case VIPS_FORMAT_UINT:
    case VIPS_FORMAT_INT:
    case VIPS_FORMAT_FLOAT:
        return 32;
    default:
        return 64;
    }
}

std::optional<QByteArray> blobField(const VImage& image, const char* field) {
    if (!image.get_typeof(field))
        return std::nullopt;
    size_t length = 0;
    const void* data = image.get_blob(field, &length);
    return QByteArray(static_cast<const char*>(data), static_cast<qsizetype>(length));
}

// libpng-based loading reports 1 pixel/mm when a PNG has no pHYs chunk, so whether a PNG
// records a resolution is read from its chunks.
bool pngRecordsPhysicalResolution(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    if (file.read(8) != QByteArray("\x89PNG\r\n\x1a\n", 8))
        return false;
    for (int chunk = 0; chunk < 256; ++chunk) {
        const QByteArray head = file.read(8);
        if (head.size() != 8)
            return false;
        const auto* bytes = reinterpret_cast<const unsigned char*>(head.constData());
        const quint32 length = (quint32(bytes[0]) << 24) | (quint32(bytes[1]) << 16) |
                               (quint32(bytes[2]) << 8) | quint32(bytes[3]);
        const QByteArray type = head.mid(4, 4);
        if (type == "IDAT" || type == "IEND")
            return false;
        if (type == "pHYs") {
            // Unit 1 is metres; unit 0 records an aspect ratio only.
            const QByteArray data = file.read(9);
            return length == 9 && data.size() == 9 && data.at(8) == 1;
        }
        if (!file.seek(file.pos() + qint64(length) + 4))
            return false;
    }
    return false;
}

} // namespace

ImageServiceError::ImageServiceError(Kind kind, QString reason)
    : m_kind(kind), m_reason(std::move(reason)) {
    m_what = description().toStdString();
}

ImageServiceError ImageServiceError::tooLarge(qint64 width, qint64 height) {
    ImageServiceError error(Kind::tooLarge, QString());
    error.m_width = width;
    error.m_height = height;
    error.m_what = error.description().toStdString();
    return error;
}

QString ImageServiceError::description() const {
    switch (m_kind) {
    case Kind::unreadable:
        return QStringLiteral("The file could not be decoded: %1").arg(m_reason);
    case Kind::tooLarge:
        return QStringLiteral("Image is too large (%1 × %2 pixels; the limit is %3 pixels).")
            .arg(m_width)
            .arg(m_height)
            .arg(ImageServices::maxDecodePixels);
    case Kind::unsupportedFormat:
        return m_reason;
    case Kind::writeFailed:
        return QStringLiteral("The file could not be written: %1").arg(m_reason);
    }
    return m_reason;
}

namespace ImageServices {

std::optional<ImageProperties> readProperties(const QString& path) noexcept {
    try {
        ensureVipsStarted();
        const QFileInfo info(path);
        // Only regular files: a FIFO or a device would block or never end.
        if (!info.isFile() || info.size() == 0)
            return std::nullopt;
        vips_error_clear();
        const VImage image = VImage::new_from_file(
            nativePath(path).constData(), VImage::option()
                                              ->set("access", VIPS_ACCESS_SEQUENTIAL)
                                              ->set("fail_on", VIPS_FAIL_ON_NONE));
        ImageProperties properties;
        properties.pixelWidth = image.width();
        properties.pixelHeight = image.height();
        if (image.get_typeof(VIPS_META_ORIENTATION)) {
            const int orientation = image.get_int(VIPS_META_ORIENTATION);
            if (orientation >= 1 && orientation <= 8)
                properties.orientation = orientation;
        }
        properties.exif = blobField(image, VIPS_META_EXIF_NAME);
        properties.hasICCProfile = image.get_typeof(VIPS_META_ICC_NAME) != 0;
        properties.hasAlpha = image.has_alpha();
        properties.bitsPerComponent = bitsOf(image.format());

        const char* loader = image.get_typeof(VIPS_META_LOADER)
                                 ? image.get_string(VIPS_META_LOADER)
                                 : "";
        const bool recordsResolution = QByteArray(loader).startsWith("png")
                                           ? pngRecordsPhysicalResolution(path)
                                           : image.get_typeof(VIPS_META_RESOLUTION_UNIT) != 0;
        if (recordsResolution && image.xres() > 0 && image.yres() > 0) {
            properties.dpiWidth = image.xres() * 25.4;
            properties.dpiHeight = image.yres() * 25.4;
        }
        return properties;
    } catch (...) {
        return std::nullopt;
    }
}

} // namespace ImageServices
} // namespace glintwork
