#include "platform/ImageServices.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>
#include <utility>

#include <vips/vips8>

#include "platform/VipsBridge.h"

// Resampling and conversion of decoded images; decoding and encoding have files of their
// own (ImageDecoding, ImageEncoding).
namespace glintwork {

namespace ImageErrors {

Error failure(ErrorKind kind, const QString& reason, const QString& file) {
    QString text = reason;
    if (kind == ErrorKind::imageUnreadable)
        text = QStringLiteral("The file could not be decoded: %1").arg(reason);
    else if (kind == ErrorKind::writeFailed)
        text = QStringLiteral("The file could not be written: %1").arg(reason);
    return Error(kind, text, {.file = file, .reason = reason});
}

Error tooLarge(qint64 width, qint64 height, const QString& file) {
    return Error(ErrorKind::imageTooLarge,
                 QStringLiteral("Image is too large (%1 × %2 pixels; the limit is %3 pixels).")
                     .arg(width)
                     .arg(height)
                     .arg(ImageServices::maxDecodePixels),
                 {.file = file});
}

Error writeFailed(int errorNumber, const QString& file) {
    const QString reason = systemErrorText(errorNumber);
    return Error(ErrorKind::writeFailed,
                 QStringLiteral("The file could not be written: %1").arg(reason),
                 {.file = file, .errorNumber = errorNumber, .reason = reason});
}

} // namespace ImageErrors

namespace ImageServices {

using vips::VError;
using vips::VImage;
using VipsBridge::alphaBandOf;
using VipsBridge::as8Bit;
using VipsBridge::fromVips;
using VipsBridge::guarded;
using VipsBridge::imageFromVips;
using VipsBridge::isCMYK;
using VipsBridge::Kind;
using VipsBridge::maxAlphaOf;
using VipsBridge::normalisedForImage;
using VipsBridge::vipsFromImage;

namespace {

VImage exactSize(VImage image, int width, int height) {
    if (image.width() > width || image.height() > height)
        image = image.crop(0, 0, std::min(image.width(), width), std::min(image.height(), height));
    if (image.width() < width || image.height() < height)
        image = image.embed(0, 0, width, height, VImage::option()->set("extend", VIPS_EXTEND_COPY));
    return image;
}

} // namespace

Image downscale(const Image& image, int width, int height) {
    if (width < 1 || height < 1)
        throw ImageErrors::failure(Kind::unsupportedFormat,
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
        work = work.cast(in.format())
                   .copy(VImage::option()->set("interpretation", in.interpretation()));
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
                      (components == 4 && image.alphaInfo == AlphaInfo::last));
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
            work = work.icc_transform("srgb",
                                      VImage::option()->set("embedded", true)->set("depth", 8));
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
    return guarded(Kind::imageUnreadable, [] {
        VipsBlob* blob = nullptr;
        if (vips_profile_load("srgb", &blob, nullptr) != 0 || !blob)
            throw fromVips(VError(), Kind::imageUnreadable);
        size_t length = 0;
        const void* data = vips_blob_get(blob, &length);
        QByteArray profile(static_cast<const char*>(data), qsizetype(length));
        vips_area_unref(reinterpret_cast<VipsArea*>(blob));
        return profile;
    });
}

} // namespace ImageServices
} // namespace glintwork