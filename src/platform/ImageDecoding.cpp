#include "platform/ImageServices.h"

#include <cerrno>
#include <cstring>
#include <mutex>
#include <optional>
#include <shared_mutex>

#include <sys/stat.h>

#include <vips/vips8>

#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>

#include "platform/ColorProfile.h"
#include "platform/PngContainer.h"
#include "platform/TiffExif.h"
#include "platform/VipsBridge.h"

namespace glintwork::ImageServices {

using vips::VError;
using vips::VImage;
using VipsBridge::alphaBandOf;
using VipsBridge::as8Bit;
using VipsBridge::bitsOf;
using VipsBridge::blobField;
using VipsBridge::ensureVipsStarted;
using VipsBridge::fromVips;
using VipsBridge::imageFromVips;
using VipsBridge::Kind;
using VipsBridge::lastReasonCertain;
using VipsBridge::normalisedForImage;
using VipsBridge::reading;
using VipsBridge::resetLastReasonCertain;

namespace {

// libvips also empties its error buffer itself while it probes what format a file is in
// (its TIFF probe does), which can wipe out another file's failure before that failure's
// VError copies it. Probing is therefore shared, and reading a failed file again, when its
// reason was lost that way, is exclusive.
std::shared_mutex probing;
thread_local bool t_probingExclusively = false;

// Held while libvips opens a file, which is when it probes.
class Probing {
public:
    Probing() {
        if (!t_probingExclusively)
            m_lock = std::shared_lock(probing);
    }

private:
    std::shared_lock<std::shared_mutex> m_lock;
};

QByteArray nativePath(const QString& path) {
    return QFile::encodeName(path);
}

void requireRegularFile(const QString& path) {
    struct stat status {};
    if (::stat(nativePath(path).constData(), &status) != 0) {
        const int error = errno;
        // A folder on the way that may not be searched is not a missing file.
        throw ImageErrors::failure(Kind::imageUnreadable,
                                   error == ENOENT || error == ENOTDIR
                                       ? QStringLiteral("the file does not exist")
                                       : QString::fromLocal8Bit(std::strerror(error)));
    }
    const QFileInfo info(path);
    if (!info.isFile())
        throw ImageErrors::failure(Kind::imageUnreadable,
                                   QStringLiteral("it is not a regular file"));
    if (info.size() == 0)
        throw ImageErrors::failure(Kind::imageUnreadable, QStringLiteral("the file is empty"));
}

// Opens image 0 lazily: only the header is read until pixels are asked for.
VImage openSource(const QString& path, VipsFailOn failOn, VipsAccess access) {
    requireRegularFile(path);
    try {
        const Probing probe;
        return VImage::new_from_file(
            nativePath(path).constData(),
            VImage::option()->set("access", access)->set("fail_on", failOn));
    } catch (const VError& error) {
        throw fromVips(error, Kind::imageUnreadable);
    }
}

void refuseOversized(const VImage& image) {
    const qint64 pixels = qint64(image.width()) * qint64(image.height());
    if (pixels > ImageServices::maxDecodePixels)
        throw ImageErrors::tooLarge(image.width(), image.height());
}

ImageProperties propertiesOf(const QString& path) {
    const Probing probe;
    const VImage image = VImage::new_from_file(
        nativePath(path).constData(),
        VImage::option()->set("access", VIPS_ACCESS_SEQUENTIAL)->set("fail_on", VIPS_FAIL_ON_NONE));
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
    const auto profile = blobField(image, VIPS_META_ICC_NAME);
    properties.needsColorConversion =
        image.interpretation() == VIPS_INTERPRETATION_CMYK ||
        (profile && !profile->isEmpty() && !ColorProfile::isSRGB(*profile));
    properties.hasAlpha = image.has_alpha();
    properties.bitsPerComponent = bitsOf(image);

    const char* loader =
        image.get_typeof(VIPS_META_LOADER) ? image.get_string(VIPS_META_LOADER) : "";
    // libvips' TIFF loader leaves the EXIF sub-IFD unread.
    if (!properties.exif && QByteArray(loader).startsWith("tiff"))
        properties.exif = TiffExif::exifOf(path);
    const bool recordsResolution = QByteArray(loader).startsWith("png")
                                       ? PngContainer::recordsPhysicalResolution(path)
                                       : image.get_typeof(VIPS_META_RESOLUTION_UNIT) != 0;
    if (recordsResolution && image.xres() > 0 && image.yres() > 0) {
        properties.dpiWidth = image.xres() * 25.4;
        properties.dpiHeight = image.yres() * 25.4;
    }
    return properties;
}

} // namespace

std::optional<ImageProperties> readProperties(const QString& path) noexcept {
    try {
        ensureVipsStarted();
        const QFileInfo info(path);
        // Only regular files: a FIFO or a device would block or never end.
        if (!info.isFile() || info.size() == 0)
            return std::nullopt;
        // Like every call, so that a failure's lines are claimed and never mistaken for
        // another failure's.
        return reading(path, [&] { return propertiesOf(path); });
    } catch (...) {
        return std::nullopt;
    }
}

Image decode(const QString& path) {
    const auto decodeOnce = [&] {
        return reading(path, [&] {
            // Truncated or corrupt data must fail rather than come back as grey rows. libvips
            // 8.14 sometimes loses a decoder error raised in one of its worker threads and
            // hands back the partial image, so the file is decoded here, in the calling
            // thread: with random access, asking for the first pixel decodes the whole image
            // and reports its failure directly.
            const VImage source = openSource(path, VIPS_FAIL_ON_ERROR, VIPS_ACCESS_RANDOM);
            refuseOversized(source);
            vips::VRegion::new_from_image(source).prepare(0, 0, 1, 1);
            return imageFromVips(source);
        });
    };
    try {
        resetLastReasonCertain();
        return decodeOnce();
    } catch (const Error& error) {
        if (error.kind() != Kind::imageUnreadable || lastReasonCertain() || t_probingExclusively)
            throw;
    }
    // Another file's probe may have wiped out or mixed into the reason: once more, with no
    // probe meanwhile.
    const std::unique_lock exclusive(probing);
    t_probingExclusively = true;
    const auto restore = qScopeGuard([] { t_probingExclusively = false; });
    return decodeOnce();
}

Image thumbnail(const QString& path, int maxPixelSize) {
    if (maxPixelSize < 1)
        throw ImageErrors::failure(Kind::unsupportedFormat,
                                   QStringLiteral("The thumbnail size must be at least 1 pixel."));
    return reading(path, [&] {
        const VImage source = openSource(path, VIPS_FAIL_ON_NONE, VIPS_ACCESS_SEQUENTIAL);
        refuseOversized(source);
        // Only an embedded profile calls for a colour transform; converting untagged sRGB
        // through libvips' own sRGB profile shifts saturated colours visibly.
        vips::VOption* options =
            VImage::option()->set("height", maxPixelSize)->set("size", VIPS_SIZE_DOWN);
        if (source.get_typeof(VIPS_META_ICC_NAME))
            options = options->set("export_profile", "srgb");
        VImage image = [&] {
            const Probing probe;
            return VImage::thumbnail(nativePath(path).constData(), maxPixelSize, options);
        }();
        if (image.interpretation() != VIPS_INTERPRETATION_sRGB || image.bands() < 3)
            image = image.colourspace(VIPS_INTERPRETATION_sRGB);
        image = as8Bit(normalisedForImage(image));
        if (image.bands() > 4)
            image = image.extract_band(0, VImage::option()->set("n", 4));
        image.remove(VIPS_META_ICC_NAME);
        return imageFromVips(image, ColorSpace::sRGB());
    });
}

} // namespace glintwork::ImageServices
