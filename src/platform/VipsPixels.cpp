#include "platform/VipsBridge.h"

#include <bit>
#include <cstdint>
#include <cstring>
#include <optional>
#include <vector>

#include <vips/vips8>

namespace glintwork::VipsBridge {

using vips::VError;
using vips::VImage;

int bitsOf(const VImage& image) {
    switch (image.format()) {
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

namespace {

constexpr bool hostIsLittleEndian = std::endian::native == std::endian::little;

std::uint16_t swapped(std::uint16_t value) {
    return static_cast<std::uint16_t>((value << 8) | (value >> 8));
}

} // namespace

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
        throw ImageErrors::failure(
            Kind::unsupportedFormat,
            QStringLiteral("Images with %1 channels are not supported.").arg(image.bands()));
    return image;
}

Image imageFromVips(const VImage& source, std::optional<ColorSpace> colorSpace) {
    const VImage in = normalisedForImage(source);
    const bool alpha = alphaBandOf(in);
    const int colorComponents = in.bands() - (alpha ? 1 : 0);
    const int bits = bitsOf(in);

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

// The other direction: our image, whatever its layout, as a packed libvips image with
// straight alpha last, native byte order and its ICC profile attached.
VImage vipsFromImage(const Image& image) {
    if (image.width < 1 || image.height < 1)
        throw ImageErrors::failure(Kind::unsupportedFormat,
                                   QStringLiteral("Invalid image dimensions (width=%1, height=%2).")
                                       .arg(image.width)
                                       .arg(image.height));
    const bool validDepth = image.isFloat
                                ? image.bitsPerComponent == 32
                                : image.bitsPerComponent == 8 || image.bitsPerComponent == 16;
    const int components = image.componentsPerPixel();
    const int colorComponents = image.colorComponentsPerPixel();
    const bool colorCountOK = colorComponents == 1 || colorComponents == 3 ||
                              (colorComponents == 4 && image.colorSpace.componentCount == 4);
    if (!validDepth || !colorCountOK || image.bitsPerPixel != components * image.bitsPerComponent)
        throw ImageErrors::failure(
            Kind::unsupportedFormat,
            QStringLiteral("Unsupported pixel format (bitsPerComponent=%1, bitsPerPixel=%2, "
                           "alphaInfo=%3).")
                .arg(image.bitsPerComponent)
                .arg(image.bitsPerPixel)
                .arg(static_cast<int>(image.alphaInfo)));
    const std::size_t pixelBytes = std::size_t(image.width) * std::size_t(image.bytesPerPixel());
    if (std::size_t(image.bytesPerRow) < pixelBytes ||
        image.pixels.size() <
            std::size_t(image.bytesPerRow) * std::size_t(image.height - 1) + pixelBytes)
        throw ImageErrors::failure(Kind::unsupportedFormat,
                                   QStringLiteral("Image pixel data is truncated."));

    const bool alpha = image.hasAlpha();
    const int outBands = colorComponents + (alpha ? 1 : 0);
    const int c = image.bytesPerComponent();
    const bool swap16 = image.bitsPerComponent == 16 &&
                        (image.byteOrder16 == ByteOrder16::little) != hostIsLittleEndian;
    constexpr int firstColor = 0;
    const int alphaIndex = components - 1;

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

    const VipsBandFormat format = image.isFloat                  ? VIPS_FORMAT_FLOAT
                                  : image.bitsPerComponent == 16 ? VIPS_FORMAT_USHORT
                                                                 : VIPS_FORMAT_UCHAR;
    VipsImage* raw = vips_image_new_from_memory_copy(packed.data(), packed.size(), image.width,
                                                     image.height, outBands, format);
    if (!raw)
        throw fromVips(VError(), Kind::unsupportedFormat);
    VImage result(raw);

    VipsInterpretation interpretation;
    if (colorComponents == 1)
        interpretation =
            format == VIPS_FORMAT_USHORT ? VIPS_INTERPRETATION_GREY16 : VIPS_INTERPRETATION_B_W;
    else if (colorComponents == 4)
        interpretation = VIPS_INTERPRETATION_CMYK;
    else
        interpretation =
            format == VIPS_FORMAT_USHORT ? VIPS_INTERPRETATION_RGB16 : VIPS_INTERPRETATION_sRGB;
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
    const VipsInterpretation target =
        image.interpretation() == VIPS_INTERPRETATION_GREY16  ? VIPS_INTERPRETATION_B_W
        : image.interpretation() == VIPS_INTERPRETATION_RGB16 ? VIPS_INTERPRETATION_sRGB
                                                              : image.interpretation();
    if (image.format() == VIPS_FORMAT_USHORT)
        image = image.boolean_const(VIPS_OPERATION_BOOLEAN_RSHIFT, {8}).cast(VIPS_FORMAT_UCHAR);
    else if (image.format() == VIPS_FORMAT_FLOAT)
        image = (image * 255.0).round(VIPS_OPERATION_ROUND_RINT).cast(VIPS_FORMAT_UCHAR);
    return image.copy(VImage::option()->set("interpretation", target));
}

} // namespace glintwork::VipsBridge
