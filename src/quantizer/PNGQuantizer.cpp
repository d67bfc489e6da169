#include "quantizer/PNGQuantizer.h"

#include <cmath>
#include <limits>

#include <QCoreApplication>

#include "platform/ImageServices.h"
#include "platform/IndexedPNGWriter.h"
#include "platform/Orientation.h"
#include "quantizer/quantette.h"

namespace glintwork {

QString QuantizeError::description() const {
    switch (m_kind) {
    case Kind::decodingFailed:
        return QCoreApplication::translate("PNGQuantizer", "Image decoding failed");
    case Kind::contextCreationFailed:
        return QCoreApplication::translate("PNGQuantizer", "Pixel buffer creation failed");
    case Kind::quantizationFailed:
        return QCoreApplication::translate("PNGQuantizer", "Color quantization failed");
    case Kind::pngWriteFailed:
        return QCoreApplication::translate("PNGQuantizer", "PNG write failed");
    }
    return {};
}

namespace PNGQuantizer {

int maximumColorCount(int quality) {
    if (quality < 51)
        return 64;
    if (quality <= 75)
        return 128;
    return 256;
}

TargetSize targetSize(int width, int height, std::optional<int> maxWidth,
                      std::optional<int> maxHeight) {
    const double w = width;
    const double h = height;
    const double sw = (maxWidth && *maxWidth > 0 && *maxWidth < width) ? *maxWidth / w : 1.0;
    double s = 0;
    if (maxHeight && *maxHeight > 0 && *maxHeight < height)
        s = std::min(sw, *maxHeight / h);
    else
        s = std::min(sw, 1.0);
    // std::round rounds halves away from zero.
    const auto scaled = [s](double side) {
        return std::max(1, static_cast<int>(std::round(s * side)));
    };
    return {scaled(w), scaled(h)};
}

void quantize(const QString& input, const QString& output, int quality,
              std::optional<int> maxWidth, std::optional<int> maxHeight) {
    Image decoded;
    int orientation = 1;
    try {
        decoded = ImageServices::decode(input);
        if (const auto properties = ImageServices::readProperties(input))
            orientation = properties->orientation.value_or(1);
    } catch (const ImageServiceError& error) {
        if (error.kind() == ImageServiceError::Kind::tooLarge)
            throw; // its own text says what is wrong, unlike a generic decoding failure
        throw QuantizeError(QuantizeError::Kind::decodingFailed);
    }

    Image rgba;
    try {
        // The PNG carries no orientation tag, so a photo taken sideways is stored upright.
        Image upright = applyOrientation(decoded, orientation);
        decoded = Image();
        const TargetSize size = targetSize(upright.width, upright.height, maxWidth, maxHeight);
        if (size.width != upright.width || size.height != upright.height)
            upright = ImageServices::downscale(upright, size.width, size.height);
        rgba = ImageServices::toRGBA8(upright);
    } catch (const ImageServiceError&) {
        throw QuantizeError(QuantizeError::Kind::contextCreationFailed);
    } catch (const std::bad_alloc&) {
        throw QuantizeError(QuantizeError::Kind::contextCreationFailed);
    }

    // Composite over opaque white so every pixel the quantizer sees is final.
    for (int y = 0; y < rgba.height; ++y) {
        std::uint8_t* p = rgba.row(y);
        for (int x = 0; x < rgba.width; ++x, p += 4) {
            const unsigned a = p[3];
            if (a != 255) {
                for (int c = 0; c < 3; ++c)
                    p[c] = static_cast<std::uint8_t>((p[c] * a + 255u * (255u - a) + 127u) / 255u);
                p[3] = 255;
            }
        }
    }
    if (rgba.bytesPerRow != rgba.width * 4)
        throw QuantizeError(QuantizeError::Kind::contextCreationFailed);

    const auto colors = static_cast<std::uint32_t>(maximumColorCount(quality));
    if (quantette_quantize_rgba(rgba.pixels.data(), static_cast<std::uint32_t>(rgba.width),
                                static_cast<std::uint32_t>(rgba.height), colors) != 0)
        throw QuantizeError(QuantizeError::Kind::quantizationFailed);

    try {
        if (!writeIndexedPNG(rgba.pixels.data(), rgba.width, rgba.height, output))
            throw QuantizeError(QuantizeError::Kind::quantizationFailed);
    } catch (const ImageServiceError&) {
        throw QuantizeError(QuantizeError::Kind::pngWriteFailed);
    }
}

} // namespace PNGQuantizer
} // namespace glintwork
