#include "platform/ImageServices.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <optional>
#include <shared_mutex>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vips/vips8>

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSet>
#include <QUuid>

#include "platform/ColorProfile.h"
#include "platform/ExitCleanup.h"
#include "platform/PngContainer.h"
#include "platform/SimpleContainers.h"
#include "platform/TiffExif.h"

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
        // Damaged files are reported through our own errors; libvips' warnings about them
        // would otherwise land on the terminal of every CLI run.
        g_log_set_handler("VIPS", static_cast<GLogLevelFlags>(G_LOG_LEVEL_WARNING | G_LOG_LEVEL_MESSAGE),
                          [](const gchar*, GLogLevelFlags, const gchar*, gpointer) {}, nullptr);
    });
}

// libvips keeps one error buffer for the whole process, and a failing operation on any
// thread appends its lines to it; a VError copies the whole buffer when it is thrown.
// Clearing the buffer before each call would erase what another file's failure had just put
// there, and the first line of a copy may well be another file's. So each call writes a
// numbered mark into the buffer as it begins, and a failure picks its own lines from its
// copy: those after its mark (all of them when libvips emptied the buffer meanwhile, which
// it does itself now and then) that no other failure has claimed, and of those the ones
// naming its file when any does, never one naming another file. The buffer is emptied only
// when it grows large and every failure in it has been claimed, or when it is nearly full.
class VipsErrorLog {
public:
    struct Start {
        quint64 mark = 0;
        QByteArray file; // the file the call reads, as libvips names it; empty for none
    };

    // Whether the last lines taken on this thread were surely its failure's own.
    static thread_local bool t_certain;

    [[nodiscard]] static Start start(QByteArray file) {
        const std::lock_guard lock(s_mutex);
        emptyWhenLarge();
        const quint64 mark = ++s_lastMark;
        vips_error(kMarkDomain, "%llu", static_cast<unsigned long long>(mark));
        return {mark, std::move(file)};
    }

    // The lines of the failure of a call that began at `start` and whose VError copied
    // `copied`; they are claimed, so no other failure reports them.
    [[nodiscard]] static QStringList take(const Start& start, const char* copied) {
        const std::lock_guard lock(s_mutex);
        const QList<QByteArray> lines = QByteArray(copied).split('\n');
        const bool ownMarkKept = lines.contains(markLine(start.mark));
        bool afterOwnMark = !ownMarkKept;
        quint64 lastMark = 0;
        QList<Claim> candidates, naming;
        for (const QByteArray& line : lines) {
            if (const auto mark = markOf(line)) {
                lastMark = *mark;
                afterOwnMark = afterOwnMark || *mark == start.mark;
                continue;
            }
            const Claim claim{lastMark, line};
            // Lines before any mark came after libvips emptied the buffer; a claim of the
            // same text made before this call began was of a line that went with it.
            const auto claimed = s_claimed.constFind(claim);
            const bool taken = claimed != s_claimed.cend() &&
                               (ownMarkKept || lastMark != 0 || *claimed >= start.mark);
            if (!afterOwnMark || line.trimmed().isEmpty() || taken)
                continue;
            if (!start.file.isEmpty() && line.contains(start.file))
                naming.append(claim);
            else if (!line.contains("\"/") && !line.contains("`/"))
                candidates.append(claim);
        }
        QStringList own;
        for (const Claim& claim : naming.isEmpty() ? candidates : naming) {
            s_claimed.insert(claim, s_lastMark);
            own.append(QString::fromUtf8(claim.second));
        }
        // Without its file's name to go by, a failure's lines are the last ones before its
        // copy was made, all from one source: what another file's probe wrote meanwhile (and
        // libvips then emptied away) comes before them.
        t_certain = !naming.isEmpty();
        if (naming.isEmpty()) {
            qsizetype first = own.size() - 1;
            while (first > 0 && sourceOf(own[first - 1]) == sourceOf(own.last()))
                --first;
            // Lines from elsewhere, or a mark that libvips emptied away, mean another file's
            // probe ran while this call failed.
            t_certain = ownMarkKept && first == 0 && !own.isEmpty();
            own = own.mid(std::max<qsizetype>(first, 0));
        }
        return own;
    }

private:
    // The libvips domain a line begins with ("vipspng" in "vipspng: libpng read error").
    static QString sourceOf(const QString& line) { return line.section(QLatin1Char(':'), 0, 0); }

    // A line and the mark before it.
    using Claim = QPair<quint64, QByteArray>;
    static constexpr const char* kMarkDomain = "glintwork-call";

    static QByteArray markLine(quint64 mark) {
        return QByteArray(kMarkDomain) + ": " + QByteArray::number(mark);
    }
    static std::optional<quint64> markOf(const QByteArray& line) {
        const QByteArray prefix = QByteArray(kMarkDomain) + ": ";
        if (!line.startsWith(prefix))
            return std::nullopt;
        bool ok = false;
        const quint64 mark = line.mid(prefix.size()).toULongLong(&ok);
        return ok ? std::optional(mark) : std::nullopt;
    }

    static void emptyWhenLarge() {
        const QByteArray buffer(vips_error_buffer());
        forgetOldClaims(buffer);
        constexpr qsizetype kLarge = 4096, kNearlyFull = 8192;
        if (buffer.size() < kLarge)
            return;
        bool allClaimed = true;
        quint64 lastMark = 0;
        for (const QByteArray& line : buffer.split('\n')) {
            if (const auto mark = markOf(line))
                lastMark = *mark;
            else if (!line.trimmed().isEmpty() && !s_claimed.contains(Claim{lastMark, line}))
                allClaimed = false;
        }
        if (allClaimed || buffer.size() >= kNearlyFull) {
            vips_error_clear();
            s_claimed.clear();
        }
    }

    // Claims of lines libvips has since emptied away need not be kept.
    static void forgetOldClaims(const QByteArray& buffer) {
        constexpr qsizetype kManyClaims = 1024;
        if (s_claimed.size() < kManyClaims)
            return;
        quint64 oldest = s_lastMark;
        for (const QByteArray& line : buffer.split('\n')) {
            if (const auto mark = markOf(line)) {
                oldest = *mark;
                break;
            }
        }
        s_claimed.removeIf([oldest](const auto& claim) { return claim.key().first < oldest; });
    }

    static inline std::mutex s_mutex;
    static inline quint64 s_lastMark = 0;
    // Each claimed line, with the last mark written when it was claimed.
    static inline QHash<Claim, quint64> s_claimed;
};

thread_local bool VipsErrorLog::t_certain = true;

// Where the innermost call into libvips on this thread began.
thread_local VipsErrorLog::Start t_callStart;

// Marks where a call into libvips begins on this thread, for the length of a scope.
class VipsCall {
public:
    explicit VipsCall(const QString& file = {})
        : m_outer(std::exchange(t_callStart, VipsErrorLog::start(QFile::encodeName(file)))) {}
    VipsCall(const VipsCall&) = delete;
    VipsCall& operator=(const VipsCall&) = delete;
    ~VipsCall() { t_callStart = std::move(m_outer); }

private:
    VipsErrorLog::Start m_outer;
};

// This failure's own lines.
QStringList linesOf(const VError& error) {
    return VipsErrorLog::take(t_callStart, error.what());
}

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

// libvips messages look like `VipsForeignLoad: "x.png" is not a known file format` and
// may continue with lines of detail; the user needs the first statement only.
QString usefulLine(const QStringList& lines) {
    static const QRegularExpression prefix(QStringLiteral("^[A-Za-z0-9_]+: "));
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


using Kind = ImageServiceError::Kind;

ImageServiceError fromVips(const VError& error, Kind kind) {
    QString reason = usefulLine(linesOf(error));
    // libvips names the full path here; the user already knows which file it is.
    if (reason.endsWith(QStringLiteral(" is not a known file format")))
        reason = QStringLiteral("it is not in a known image format");
    return ImageServiceError(kind, reason);
}

constexpr bool hostIsLittleEndian = std::endian::native == std::endian::little;

void requireRegularFile(const QString& path) {
    struct stat status {};
    if (::stat(nativePath(path).constData(), &status) != 0) {
        const int error = errno;
        // A folder on the way that may not be searched is not a missing file.
        throw ImageServiceError(Kind::unreadable,
                                error == ENOENT || error == ENOTDIR
                                    ? QStringLiteral("the file does not exist")
                                    : QString::fromLocal8Bit(std::strerror(error)));
    }
    const QFileInfo info(path);
    if (!info.isFile())
        throw ImageServiceError(Kind::unreadable, QStringLiteral("it is not a regular file"));
    if (info.size() == 0)
        throw ImageServiceError(Kind::unreadable, QStringLiteral("the file is empty"));
}

// Opens image 0 lazily: only the header is read until pixels are asked for.
VImage openSource(const QString& path, VipsFailOn failOn, VipsAccess access) {
    requireRegularFile(path);
    try {
        const Probing probe;
        return VImage::new_from_file(nativePath(path).constData(),
                                     VImage::option()
                                         ->set("access", access)
                                         ->set("fail_on", failOn));
    } catch (const VError& error) {
        throw fromVips(error, Kind::unreadable);
    }
}

void refuseOversized(const VImage& image) {
    const qint64 pixels = qint64(image.width()) * qint64(image.height());
    if (pixels > ImageServices::maxDecodePixels)
        throw ImageServiceError::tooLarge(image.width(), image.height());
}

bool isCMYK(const VImage& image) {
    return image.interpretation() == VIPS_INTERPRETATION_CMYK && image.bands() >= 4;
}

bool alphaBandOf(const VImage& image) {
    const int bands = image.bands();
    if (isCMYK(image))
        return bands == 5;
    return bands == 2 || bands == 4;
}

// Brings any decoded image into the layouts Image can describe: 8/16-bit integers or
// 32-bit float, grey / RGB / CMYK with an optional alpha band.
VImage normalisedForImage(VImage image) {
    if (image.coding() == VIPS_CODING_RAD)
        image = image.rad2float();
    else if (image.coding() == VIPS_CODING_LABQ)
        image = image.LabQ2sRGB();

    switch (image.interpretation()) {
    case VIPS_INTERPRETATION_LAB:
    case VIPS_INTERPRETATION_LABS:
    case VIPS_INTERPRETATION_LCH:
    case VIPS_INTERPRETATION_CMC:
    case VIPS_INTERPRETATION_XYZ:
    case VIPS_INTERPRETATION_YXY:
    case VIPS_INTERPRETATION_scRGB:
    case VIPS_INTERPRETATION_HSV:
        image = image.colourspace(VIPS_INTERPRETATION_sRGB);
        break;
    default:
        break;
    }
    // Without a profile there is nothing to say what CMYK numbers mean; libvips' default
    // CMYK profile turns them into sRGB.
    if (isCMYK(image) && !image.get_typeof(VIPS_META_ICC_NAME))
        image = image.colourspace(VIPS_INTERPRETATION_sRGB);

    switch (image.format()) {
    case VIPS_FORMAT_UCHAR:
    case VIPS_FORMAT_USHORT:
    case VIPS_FORMAT_FLOAT:
        break;
    default:
        image = image.cast(VIPS_FORMAT_FLOAT);
        break;
    }
    if (image.bands() > 5 || (image.bands() == 5 && !isCMYK(image)))
        throw ImageServiceError(
            Kind::unsupportedFormat,
            QStringLiteral("Images with %1 channels are not supported.").arg(image.bands()));
    return image;
}

Image imageFromVips(const VImage& source, std::optional<ColorSpace> colorSpace = std::nullopt) {
    const VImage in = normalisedForImage(source);
    const bool alpha = alphaBandOf(in);
    const int colorComponents = in.bands() - (alpha ? 1 : 0);
    const int bits = bitsOf(in.format());

    if (!colorSpace) {
        if (const auto profile = blobField(in, VIPS_META_ICC_NAME); profile && !profile->isEmpty())
            colorSpace = ColorSpace::fromICC(*profile, colorComponents);
        else if (colorComponents == 1)
            colorSpace = ColorSpace::deviceGray();
        else
            colorSpace = ColorSpace::sRGB();
    }

    Image image;
    image.width = in.width();
    image.height = in.height();
    image.bitsPerComponent = bits;
    image.isFloat = in.format() == VIPS_FORMAT_FLOAT;
    image.bitsPerPixel = bits * in.bands();
    image.bytesPerRow = image.width * image.bitsPerPixel / 8;
    image.alphaInfo = alpha ? AlphaInfo::last : AlphaInfo::none;
    image.byteOrder16 = hostIsLittleEndian ? ByteOrder16::little : ByteOrder16::big;
    image.colorSpace = *colorSpace;

    size_t size = 0;
    void* data = in.write_to_memory(&size);
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    image.pixels.assign(bytes, bytes + size);
    g_free(data);
    return image;
}

std::uint16_t swapped(std::uint16_t value) {
    return static_cast<std::uint16_t>((value << 8) | (value >> 8));
}

// The other direction: our image, whatever its layout, as a packed libvips image with
// straight alpha last, native byte order and its ICC profile attached.
VImage vipsFromImage(const Image& image) {
    if (image.width < 1 || image.height < 1)
        throw ImageServiceError(Kind::unsupportedFormat,
                                QStringLiteral("Invalid image dimensions (width=%1, height=%2).")
                                    .arg(image.width)
                                    .arg(image.height));
    const bool validDepth = image.isFloat ? image.bitsPerComponent == 32
                                          : image.bitsPerComponent == 8 ||
                                                image.bitsPerComponent == 16;
    const int components = image.componentsPerPixel();
    const int colorComponents = image.colorComponentsPerPixel();
    const bool colorCountOK =
        colorComponents == 1 || colorComponents == 3 ||
        (colorComponents == 4 && image.colorSpace.componentCount == 4);
    if (!validDepth || image.alphaInfo == AlphaInfo::only || !colorCountOK ||
        image.bitsPerPixel != components * image.bitsPerComponent)
        throw ImageServiceError(
            Kind::unsupportedFormat,
            QStringLiteral("Unsupported pixel format (bitsPerComponent=%1, bitsPerPixel=%2, "
                           "alphaInfo=%3).")
                .arg(image.bitsPerComponent)
                .arg(image.bitsPerPixel)
                .arg(static_cast<int>(image.alphaInfo)));
    const std::size_t pixelBytes = std::size_t(image.width) * std::size_t(image.bytesPerPixel());
    if (std::size_t(image.bytesPerRow) < pixelBytes ||
        image.pixels.size() < std::size_t(image.bytesPerRow) * std::size_t(image.height - 1) +
                                  pixelBytes)
        throw ImageServiceError(Kind::unsupportedFormat,
                                QStringLiteral("Image pixel data is truncated."));

    const bool alpha = image.hasAlpha();
    const int outBands = colorComponents + (alpha ? 1 : 0);
    const int c = image.bytesPerComponent();
    const bool swap16 = image.bitsPerComponent == 16 &&
                        (image.byteOrder16 == ByteOrder16::little) != hostIsLittleEndian;
    const int firstColor = image.alphaFirst() ? 1 : 0;
    const int alphaIndex = image.alphaFirst() ? 0 : components - 1;

    std::vector<int> sourceComponent(static_cast<std::size_t>(outBands));
    for (int band = 0; band < colorComponents; ++band)
        sourceComponent[std::size_t(band)] = firstColor + band;
    if (alpha)
        sourceComponent[std::size_t(colorComponents)] = alphaIndex;

    const std::size_t outPixel = std::size_t(outBands) * std::size_t(c);
    std::vector<std::uint8_t> packed(outPixel * std::size_t(image.width) *
                                     std::size_t(image.height));
    for (int y = 0; y < image.height; ++y) {
        const std::uint8_t* in = image.row(y);
        std::uint8_t* out = packed.data() + std::size_t(y) * outPixel * std::size_t(image.width);
        for (int x = 0; x < image.width; ++x) {
            const std::uint8_t* pixel = in + std::size_t(x) * std::size_t(image.bytesPerPixel());
            for (int band = 0; band < outBands; ++band) {
                const std::uint8_t* from = pixel + sourceComponent[std::size_t(band)] * c;
                if (swap16) {
                    std::uint16_t value;
                    std::memcpy(&value, from, 2);
                    value = swapped(value);
                    std::memcpy(out, &value, 2);
                } else {
                    std::memcpy(out, from, std::size_t(c));
                }
                out += c;
            }
        }
    }

    const VipsBandFormat format = image.isFloat                ? VIPS_FORMAT_FLOAT
                                  : image.bitsPerComponent == 16 ? VIPS_FORMAT_USHORT
                                                                 : VIPS_FORMAT_UCHAR;
    VipsImage* raw = vips_image_new_from_memory_copy(packed.data(), packed.size(), image.width,
                                                     image.height, outBands, format);
    if (!raw)
        throw fromVips(VError(), Kind::unsupportedFormat);
    VImage result(raw);

    VipsInterpretation interpretation;
    if (colorComponents == 1)
        interpretation = format == VIPS_FORMAT_USHORT ? VIPS_INTERPRETATION_GREY16
                                                      : VIPS_INTERPRETATION_B_W;
    else if (colorComponents == 4)
        interpretation = VIPS_INTERPRETATION_CMYK;
    else
        interpretation = format == VIPS_FORMAT_USHORT ? VIPS_INTERPRETATION_RGB16
                                                      : VIPS_INTERPRETATION_sRGB;
    result = result.copy(VImage::option()->set("interpretation", interpretation));

    if (image.isPremultiplied()) {
        const double maxAlpha = image.isFloat ? 1.0 : image.bitsPerComponent == 16 ? 65535 : 255;
        result = result.unpremultiply(VImage::option()->set("max_alpha", maxAlpha))
                     .round(VIPS_OPERATION_ROUND_RINT)
                     .cast(format)
                     .copy(VImage::option()->set("interpretation", interpretation));
    }
    if (image.colorSpace.kind == ColorSpace::Kind::icc && !image.colorSpace.iccProfile.isEmpty())
        vips_image_set_blob_copy(result.get_image(), VIPS_META_ICC_NAME,
                                 image.colorSpace.iccProfile.constData(),
                                 std::size_t(image.colorSpace.iccProfile.size()));
    return result;
}

double maxAlphaOf(const VImage& image) {
    switch (image.format()) {
    case VIPS_FORMAT_USHORT:
        return 65535.0;
    case VIPS_FORMAT_FLOAT:
        return 1.0;
    default:
        return 255.0;
    }
}

// Integer images reduced to 8 bits by keeping the high byte; float ones scaled from 0–1.
VImage as8Bit(VImage image) {
    const VipsInterpretation target = image.interpretation() == VIPS_INTERPRETATION_GREY16
                                          ? VIPS_INTERPRETATION_B_W
                                      : image.interpretation() == VIPS_INTERPRETATION_RGB16
                                          ? VIPS_INTERPRETATION_sRGB
                                          : image.interpretation();
    if (image.format() == VIPS_FORMAT_USHORT)
        image = image.boolean_const(VIPS_OPERATION_BOOLEAN_RSHIFT, {8}).cast(VIPS_FORMAT_UCHAR);
    else if (image.format() == VIPS_FORMAT_FLOAT)
        image = (image * 255.0).round(VIPS_OPERATION_ROUND_RINT).cast(VIPS_FORMAT_UCHAR);
    return image.copy(VImage::option()->set("interpretation", target));
}

VImage exactSize(VImage image, int width, int height) {
    if (image.width() > width || image.height() > height)
        image = image.crop(0, 0, std::min(image.width(), width), std::min(image.height(), height));
    if (image.width() < width || image.height() < height)
        image = image.embed(0, 0, width, height,
                            VImage::option()->set("extend", VIPS_EXTEND_COPY));
    return image;
}

// libvips writes orientation into an EXIF block only when the image has one, so an
// orientation without a source block travels in a minimal block of our own.
QByteArray minimalExif() {
    QByteArray exif("Exif\0\0", 6);
    exif += QByteArray("MM\0*\0\0\0\x08", 8);
    exif += QByteArray("\0\0", 2);     // no entries
    exif += QByteArray("\0\0\0\0", 4); // no next IFD
    return exif;
}

VImage withMetadata(const VImage& image, const WriteMetadata& metadata) {
    // Files without a recorded resolution are shown at 72 dpi; say so explicitly.
    constexpr double defaultDpi = 72.0;
    VImage out = image.copy(VImage::option()
                                ->set("xres", metadata.dpiWidth.value_or(defaultDpi) / 25.4)
                                ->set("yres", metadata.dpiHeight.value_or(defaultDpi) / 25.4));
    out.remove(VIPS_META_EXIF_NAME);
    out.remove(VIPS_META_ORIENTATION);
    out.remove(VIPS_META_XMP_NAME);
    out.remove(VIPS_META_IPTC_NAME);
    out.remove(VIPS_META_PHOTOSHOP_NAME);
    const bool hasExif = metadata.exif && !metadata.exif->isEmpty();
    if (hasExif)
        vips_image_set_blob_copy(out.get_image(), VIPS_META_EXIF_NAME, metadata.exif->constData(),
                                 std::size_t(metadata.exif->size()));
    if (metadata.orientation) {
        out.set(VIPS_META_ORIENTATION, *metadata.orientation);
        if (!hasExif) {
            const QByteArray exif = minimalExif();
            vips_image_set_blob_copy(out.get_image(), VIPS_META_EXIF_NAME, exif.constData(),
                                     std::size_t(exif.size()));
        }
    }
    return out;
}

QByteArray encode(const VImage& image, const char* suffix, vips::VOption* options) {
    void* buffer = nullptr;
    size_t size = 0;
    try {
        image.write_to_buffer(suffix, &buffer, &size, options);
    } catch (const VError& error) {
        throw fromVips(error, Kind::writeFailed);
    }
    QByteArray bytes(static_cast<const char*>(buffer), qsizetype(size));
    g_free(buffer);
    return bytes;
}

[[noreturn]] void throwWriteFailed(int error) {
    throw ImageServiceError::writeFailed(error);
}

// Writes every byte, through interruptions; 0, or the errno of the write that failed.
int writeAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n < 0 ? errno : EIO;
        data += n;
        size -= std::size_t(n);
    }
    return 0;
}

// The file appears at `path` only once it is complete, so a failure never leaves a
// partial file behind: the bytes go to a hidden file beside it, registered for removal
// should the program have to quit before it is done. The system's reason for a failure
// ("No space left on device") is kept.
void writeWhole(const QString& path, const QByteArray& bytes) {
    const QString part = QFileInfo(path).absolutePath() + QStringLiteral("/.") +
                         QUuid::createUuid().toString(QUuid::WithoutBraces) +
                         QStringLiteral(".part");
    const ExitCleanup::FileRegistration abruptExit(part);
    const QByteArray nativePart = QFile::encodeName(part);
    const int fd = ::open(nativePart.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0)
        throwWriteFailed(errno);
    int error = writeAll(fd, bytes.constData(), std::size_t(bytes.size()));
    if (::close(fd) != 0 && error == 0)
        error = errno;
    if (error == 0 && ::rename(nativePart.constData(), QFile::encodeName(path).constData()) != 0)
        error = errno;
    if (error != 0) {
        ::unlink(nativePart.constData());
        throwWriteFailed(error);
    }
}

// The file a streaming encoder writes, through a libvips target whose writes are ours, so
// the first failure is known by its errno rather than by a libvips message.
class StreamedFile {
public:
    explicit StreamedFile(const QString& path)
        : m_fd(::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC,
                      0666)) {
        if (m_fd < 0)
            throw failure(errno);
        m_target = vips_target_custom_new();
        g_signal_connect(m_target, "write", G_CALLBACK(&StreamedFile::onWrite), this);
    }
    StreamedFile(const StreamedFile&) = delete;
    StreamedFile& operator=(const StreamedFile&) = delete;
    ~StreamedFile() {
        if (m_target)
            g_object_unref(m_target);
        if (m_fd >= 0)
            ::close(m_fd);
    }

    [[nodiscard]] vips::VTarget target() const {
        return vips::VTarget(VIPS_TARGET(m_target), vips::NOSTEAL);
    }

    // Runs the encoder; then the bytes must reach the disk and the file must close cleanly.
    template <typename Encode> void write(Encode&& encode) {
        try {
            encode();
        } catch (const VError& error) {
            if (m_error != 0)
                throw failure(m_error);
            throw fromVips(error, Kind::writeFailed);
        }
        if (m_error != 0)
            throw failure(m_error);
        if (::fsync(m_fd) != 0 && errno != EINVAL && errno != EROFS)
            throw failure(errno);
        const int fd = std::exchange(m_fd, -1);
        if (::close(fd) != 0 && errno != EINTR)
            throw failure(errno);
    }

private:
    static ImageServiceError failure(int error) { return ImageServiceError::writeFailed(error); }

    static gint64 onWrite(VipsTargetCustom*, const void* data, gint64 length, StreamedFile* self) {
        if (self->m_error == 0)
            self->m_error = writeAll(self->m_fd, static_cast<const char*>(data), std::size_t(length));
        return self->m_error == 0 ? length : -1;
    }

    int m_fd;
    VipsTargetCustom* m_target = nullptr;
    int m_error = 0;
};

// The image as libvips sees it, without copying the pixels when they are packed 8-bit RGBA
// (the image must outlive the result); straight alpha, sRGB interpretation.
VImage vipsViewOf(const Image& image) {
    const bool packedRGBA = !image.isFloat && image.bitsPerComponent == 8 &&
                            image.componentsPerPixel() == 4 && image.colorComponentsPerPixel() == 3 &&
                            !image.alphaFirst() && image.hasAlpha() &&
                            image.bytesPerRow == image.width * 4 && image.width > 0 && image.height > 0 &&
                            image.pixels.size() >= std::size_t(image.bytesPerRow) * std::size_t(image.height);
    if (!packedRGBA)
        return vipsFromImage(image);
    VipsImage* raw = vips_image_new_from_memory(image.pixels.data(), image.pixels.size(), image.width,
                                                image.height, 4, VIPS_FORMAT_UCHAR);
    if (!raw)
        throw fromVips(VError(), Kind::unsupportedFormat);
    VImage view = VImage(raw).copy(VImage::option()->set("interpretation", VIPS_INTERPRETATION_sRGB));
    if (image.isPremultiplied())
        view = view.unpremultiply(VImage::option()->set("max_alpha", 255.0))
                   .round(VIPS_OPERATION_ROUND_RINT)
                   .cast(VIPS_FORMAT_UCHAR)
                   .copy(VImage::option()->set("interpretation", VIPS_INTERPRETATION_sRGB));
    if (image.colorSpace.kind == ColorSpace::Kind::icc && !image.colorSpace.iccProfile.isEmpty())
        vips_image_set_blob_copy(view.get_image(), VIPS_META_ICC_NAME, image.colorSpace.iccProfile.constData(),
                                 std::size_t(image.colorSpace.iccProfile.size()));
    return view;
}

// Photographs (cut-outs, upscales) are what PNGs are written for here: each row predicted
// from its left neighbour, then zlib's fastest level, gives files a third smaller than no
// filter at level 6, in a third of the time (16 megapixels: 23 MB in 0.7 s against 34 MB in
// 2 s).
vips::VOption* pngOptions(const Image& image) {
    return VImage::option()
        ->set("bitdepth", image.bitsPerComponent)
        ->set("filter", VIPS_FOREIGN_PNG_FILTER_SUB)
        ->set("compression", 1);
}

void requireIntegerDepth(const Image& image, const char* format) {
    if (image.isFloat || (image.bitsPerComponent != 8 && image.bitsPerComponent != 16))
        throw ImageServiceError(
            Kind::unsupportedFormat,
            QStringLiteral("%1-bit %2 images cannot be written as %3.")
                .arg(image.bitsPerComponent)
                .arg(image.isFloat ? QStringLiteral("floating-point") : QStringLiteral("integer"))
                .arg(QLatin1String(format)));
}

void requireColorSpace(const Image& image) {
    if (image.colorSpace.kind == ColorSpace::Kind::none)
        throw ImageServiceError(
            Kind::unsupportedFormat,
            QStringLiteral("Cannot save an image without a color space; ICC profile would be "
                           "lost."));
}

int qualityToQ(double quality) {
    return std::clamp(static_cast<int>(std::lround(quality * 100.0)), 1, 100);
}

// Runs libvips work, turning its failure into ours; `file` is the file it reads, if any.
template <typename Work> auto guardedFor(const QString& file, Kind kind, Work&& work) {
    ensureVipsStarted();
    const VipsCall call(file);
    try {
        return work();
    } catch (const VError& error) {
        throw fromVips(error, kind);
    }
}

template <typename Work> auto guarded(Kind kind, Work&& work) {
    return guardedFor(QString(), kind, std::forward<Work>(work));
}

// Reading `file`: a failure is the file's being unreadable.
template <typename Work> auto reading(const QString& file, Work&& work) {
    return guardedFor(file, Kind::unreadable, std::forward<Work>(work));
}

} // namespace

ImageServiceError::ImageServiceError(Kind kind, QString reason)
    : m_kind(kind), m_reason(std::move(reason)) {}

ImageServiceError ImageServiceError::writeFailed(int errorNumber) {
    ImageServiceError error(Kind::writeFailed, QString::fromLocal8Bit(std::strerror(errorNumber)));
    error.m_errorNumber = errorNumber;
    return error;
}

ImageServiceError ImageServiceError::tooLarge(qint64 width, qint64 height) {
    ImageServiceError error(Kind::tooLarge, QString());
    error.m_width = width;
    error.m_height = height;
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

namespace {

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
    properties.bitsPerComponent = bitsOf(image.format());

    const char* loader =
        image.get_typeof(VIPS_META_LOADER) ? image.get_string(VIPS_META_LOADER) : "";
    // libvips' TIFF loader leaves the EXIF sub-IFD unread.
    if (!properties.exif && QByteArray(loader).startsWith("tiff"))
        properties.exif = TiffExif::exifOf(path);
    const bool recordsResolution = QByteArray(loader).startsWith("png")
                                       ? pngRecordsPhysicalResolution(path)
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
        VipsErrorLog::t_certain = true;
        return decodeOnce();
    } catch (const ImageServiceError& error) {
        if (error.kind() != Kind::unreadable || VipsErrorLog::t_certain || t_probingExclusively)
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
        throw ImageServiceError(Kind::unsupportedFormat,
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

void writePNG(const Image& image, const QString& path, const WriteMetadata& metadata) {
    requireIntegerDepth(image, "PNG");
    requireColorSpace(image);
    if (image.colorComponentsPerPixel() == 4)
        throw ImageServiceError(Kind::unsupportedFormat,
                                QStringLiteral("CMYK images cannot be written as PNG."));
    const auto encodePNG = [&](const Image& pixels) {
        return guarded(Kind::writeFailed, [&] {
            const VImage out = withMetadata(vipsFromImage(pixels), metadata);
            return encode(out, ".png", pngOptions(pixels)->set("strip", false));
        });
    };
    // A large 8-bit picture gets its rows compressed on every core; libvips then writes
    // only a one-pixel file whose header and metadata chunks frame them.
    QByteArray png;
    constexpr qint64 kParallelFromPixels = qint64(1) << 20;
    if (qint64(image.width) * image.height >= kParallelFromPixels) {
        const QByteArray rows = PngContainer::compressedRows(image);
        if (!rows.isEmpty()) {
            Image corner = Image::make(1, 1, 8, image.alphaInfo, image.colorSpace,
                                       image.colorComponentsPerPixel());
            std::copy(image.row(0), image.row(0) + image.bytesPerPixel(), corner.row(0));
            png = PngContainer::withImageData(encodePNG(corner), image.hasAlpha() ? 6 : 2, image.width,
                                              image.height, rows);
        }
    }
    if (png.isEmpty())
        png = encodePNG(image);
    writeWhole(path, PngContainer::tidied(png, metadata.dpiWidth || metadata.dpiHeight));
}

void writeTIFF(const Image& image, const QString& path, const WriteMetadata& metadata) {
    requireIntegerDepth(image, "TIFF");
    requireColorSpace(image);
    const QByteArray tiff = guarded(Kind::writeFailed, [&] {
        const VImage out = withMetadata(vipsFromImage(image), metadata);
        return encode(out, ".tif",
                      VImage::option()
                          ->set("compression", VIPS_FOREIGN_TIFF_COMPRESSION_LZW)
                          ->set("predictor", VIPS_FOREIGN_TIFF_PREDICTOR_HORIZONTAL)
                          ->set("resunit", VIPS_FOREIGN_TIFF_RESUNIT_INCH));
    });
    // libvips' TIFF saver drops the EXIF block, so its sub-IFD is added to the encoded file.
    const bool wantsExif = metadata.exif && !metadata.exif->isEmpty();
    writeWhole(path, wantsExif ? TiffExif::withExifDirectory(tiff, *metadata.exif) : tiff);
}

void writeJPEG(const Image& image, const QString& path, double quality,
               const WriteMetadata& metadata) {
    requireIntegerDepth(image, "JPEG");
    const QByteArray jpeg = guarded(Kind::writeFailed, [&] {
        VImage out = as8Bit(vipsFromImage(image));
        if (alphaBandOf(out))
            out = out.flatten(VImage::option()->set("background", std::vector<double>{255.0}));
        out = withMetadata(out, metadata);
        return encode(out, ".jpg",
                      VImage::option()->set("Q", qualityToQ(quality))->set("optimize_coding",
                                                                           true));
    });
    const bool wantsExif = (metadata.exif && !metadata.exif->isEmpty()) || metadata.orientation;
    writeWhole(path, wantsExif ? jpeg : SimpleContainers::withoutExifSegment(jpeg));
}

void streamPNG(const Image& image, const QString& path) {
    requireIntegerDepth(image, "PNG");
    requireColorSpace(image);
    guarded(Kind::writeFailed, [&] {
        const VImage view = vipsViewOf(image);
        StreamedFile file(path);
        file.write([&] {
            view.write_to_target(".png", file.target(), pngOptions(image));
        });
    });
}

void streamJPEG(const Image& image, const QString& path, double quality) {
    requireIntegerDepth(image, "JPEG");
    guarded(Kind::writeFailed, [&] {
        VImage out = as8Bit(vipsViewOf(image));
        if (alphaBandOf(out))
            out = out.flatten(VImage::option()->set("background", std::vector<double>{255.0}));
        StreamedFile file(path);
        file.write([&] {
            out.write_to_target(".jpg", file.target(),
                                VImage::option()
                                    ->set("Q", qualityToQ(quality))
                                    ->set("optimize_coding", true)
                                    ->set("strip", true));
        });
    });
}

void writeHEIC(const Image& image, const QString& path, double quality) {
    writeWhole(path, encodeHEIC(image, quality));
}

QByteArray encodeHEIC(const Image& image, double quality) {
    requireIntegerDepth(image, "HEIC");
    return guarded(Kind::writeFailed, [&] {
        VImage out = as8Bit(vipsFromImage(image));
        if (isCMYK(out))
            out = out.icc_transform("srgb", VImage::option()->set("embedded", true));
        return encode(out, ".heic",
                      VImage::option()
                          ->set("Q", qualityToQ(quality))
                          ->set("compression", VIPS_FOREIGN_HEIF_COMPRESSION_HEVC));
    });
}

void writeTGA(const Image& image, const QString& path) {
    requireIntegerDepth(image, "TGA");
    if (image.width > 0xFFFF || image.height > 0xFFFF)
        throw ImageServiceError(Kind::unsupportedFormat,
                                QStringLiteral("Images larger than 65535 pixels on a side cannot "
                                               "be written as TGA."));
    writeWhole(path, SimpleContainers::tga(toRGBA8(image), image.hasAlpha()));
}

Image downscale(const Image& image, int width, int height) {
    if (width < 1 || height < 1)
        throw ImageServiceError(Kind::unsupportedFormat,
                                QStringLiteral("Invalid image dimensions (width=%1, height=%2).")
                                    .arg(width)
                                    .arg(height));
    return guarded(Kind::unsupportedFormat, [&] {
        const VImage in = vipsFromImage(image);
        const bool alpha = alphaBandOf(in);
        const double maxAlpha = maxAlphaOf(in);
        VImage work = alpha ? in.premultiply(VImage::option()->set("max_alpha", maxAlpha)) : in;
        if (width != in.width() || height != in.height())
            work = work.resize(double(width) / in.width(),
                               VImage::option()
                                   ->set("vscale", double(height) / in.height())
                                   ->set("kernel", VIPS_KERNEL_LANCZOS3));
        work = exactSize(work, width, height);
        if (alpha)
            work = work.unpremultiply(VImage::option()->set("max_alpha", maxAlpha));
        if (in.format() != VIPS_FORMAT_FLOAT)
            work = work.round(VIPS_OPERATION_ROUND_RINT);
        work = work.cast(in.format()).copy(
            VImage::option()->set("interpretation", in.interpretation()));
        return imageFromVips(work, image.colorSpace);
    });
}

namespace {

// The common case, an untagged 8-bit RGB(A) or grey image, needs no colour management
// and is repacked directly: an order of magnitude faster than a libvips pipeline.
std::optional<Image> toRGBA8Directly(const Image& image) {
    if (image.isFloat || image.bitsPerComponent != 8 || image.isEmpty())
        return std::nullopt;
    const auto kind = image.colorSpace.kind;
    const int components = image.componentsPerPixel();
    const bool rgb = (kind == ColorSpace::Kind::sRGB || kind == ColorSpace::Kind::deviceRGB) &&
                     ((components == 3 && image.alphaInfo == AlphaInfo::none) ||
                      (components == 4 && (image.alphaInfo == AlphaInfo::last ||
                                           image.alphaInfo == AlphaInfo::noneSkipLast)));
    const bool grey = kind == ColorSpace::Kind::deviceGray &&
                      ((components == 1 && image.alphaInfo == AlphaInfo::none) ||
                       (components == 2 && image.alphaInfo == AlphaInfo::last));
    if (!rgb && !grey)
        return std::nullopt;
    const std::size_t needed = static_cast<std::size_t>(image.bytesPerRow) * (image.height - 1) +
                               static_cast<std::size_t>(image.width) * components;
    if (image.bytesPerRow < image.width * components || image.pixels.size() < needed)
        return std::nullopt;
    Image out = Image::make(image.width, image.height, 8, AlphaInfo::last, ColorSpace::sRGB(), 3);
    const bool keepsAlpha = image.alphaInfo == AlphaInfo::last;
    for (int y = 0; y < image.height; ++y) {
        const std::uint8_t* src = image.row(y);
        std::uint8_t* dst = out.row(y);
        for (int x = 0; x < image.width; ++x, src += components, dst += 4) {
            if (rgb) {
                dst[0] = src[0];
                dst[1] = src[1];
                dst[2] = src[2];
            } else {
                dst[0] = dst[1] = dst[2] = src[0];
            }
            dst[3] = keepsAlpha ? src[components - 1] : 255;
        }
    }
    return out;
}

} // namespace

Image toRGBA8(const Image& image) {
    if (auto direct = toRGBA8Directly(image))
        return std::move(*direct);
    return guarded(Kind::unsupportedFormat, [&] {
        VImage work = vipsFromImage(image);
        if (work.get_typeof(VIPS_META_ICC_NAME)) {
            work = work.icc_transform(
                "srgb", VImage::option()->set("embedded", true)->set("depth", 8));
        } else {
            work = as8Bit(work);
            if (isCMYK(work))
                work = work.colourspace(VIPS_INTERPRETATION_sRGB);
        }
        work = as8Bit(normalisedForImage(work));
        const bool alpha = alphaBandOf(work);
        const int colors = work.bands() - (alpha ? 1 : 0);
        if (colors == 1) {
            const VImage grey = work.extract_band(0);
            VImage rgb = VImage::bandjoin({grey, grey, grey});
            work = alpha ? rgb.bandjoin(work.extract_band(1)) : rgb;
        }
        if (!alpha)
            work = work.bandjoin_const({255.0});
        work = work.copy(VImage::option()->set("interpretation", VIPS_INTERPRETATION_sRGB));
        work.remove(VIPS_META_ICC_NAME);
        return imageFromVips(work, ColorSpace::sRGB());
    });
}

QByteArray sRGBProfile() {
    return guarded(Kind::unreadable, [] {
        VipsBlob* blob = nullptr;
        if (vips_profile_load("srgb", &blob, nullptr) != 0 || !blob)
            throw fromVips(VError(), Kind::unreadable);
        size_t length = 0;
        const void* data = vips_blob_get(blob, &length);
        QByteArray profile(static_cast<const char*>(data), qsizetype(length));
        vips_area_unref(reinterpret_cast<VipsArea*>(blob));
        return profile;
    });
}

} // namespace ImageServices
} // namespace glintwork
