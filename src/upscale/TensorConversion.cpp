#include "upscale/TensorConversion.h"

#include <bit>
#include <cmath>
#include <cstring>
#include <optional>

#include <QStringList>

#include "platform/ImageServices.h"
#include "upscale/DnnUpscalerError.h"

namespace glintwork {

namespace {

// Engines may hand over any layout; a tensor whose shape or strides would make us read or
// write outside its storage fails the tile instead.
void requireRegion(const TensorView& tensor, int width, int height, const char* role) {
    const QString name = QLatin1String(role);
    if (tensor.shape.size() != 4 || tensor.strides.size() != 4)
        throw DnnUpscalerError::inferenceFailed(QStringLiteral("%1 tensor has %2 dimensions, expected 4")
                                                    .arg(name)
                                                    .arg(tensor.shape.size()));
    if (tensor.shape[0] < 1 || tensor.shape[1] < 3 || tensor.shape[2] < height ||
        tensor.shape[3] < width) {
        QStringList dims;
        for (auto d : tensor.shape)
            dims << QString::number(d);
        throw DnnUpscalerError::inferenceFailed(
            QStringLiteral("%1 tensor [%2] is smaller than 3 × %3 × %4")
                .arg(name, dims.join(QStringLiteral(", ")))
                .arg(height)
                .arg(width));
    }
    std::int64_t last = 2 * tensor.strides[1] + std::int64_t(height - 1) * tensor.strides[2] +
                        std::int64_t(width - 1) * tensor.strides[3];
    bool negative = false;
    for (auto s : tensor.strides)
        negative = negative || s < 0;
    if (!tensor.data || negative || last < 0 || std::uint64_t(last) >= tensor.elementCount)
        throw DnnUpscalerError::inferenceFailed(
            QStringLiteral("%1 tensor strides reach past its data").arg(name));
}

} // namespace

float halfToFloat(std::uint16_t half) {
    const std::uint32_t sign = std::uint32_t(half & 0x8000u) << 16;
    const std::uint32_t exponent = (half >> 10) & 0x1fu;
    std::uint32_t mantissa = half & 0x3ffu;
    std::uint32_t bits;
    if (exponent == 0) {
        if (mantissa == 0) {
            bits = sign;
        } else {
            // Subnormal: shift until the implicit bit appears, adjusting the exponent.
            int e = -1;
            do {
                ++e;
                mantissa <<= 1;
            } while ((mantissa & 0x400u) == 0);
            bits = sign | (std::uint32_t(127 - 15 - e) << 23) | ((mantissa & 0x3ffu) << 13);
        }
    } else if (exponent == 0x1f) {
        bits = sign | 0x7f800000u | (mantissa << 13);
    } else {
        bits = sign | ((exponent + 127 - 15) << 23) | (mantissa << 13);
    }
    return std::bit_cast<float>(bits);
}

std::uint8_t byteFromUnitFloat(float value) {
    const float scaled = std::round(value * 255.0f);
    if (std::isnan(scaled) || scaled >= 255.0f)
        return 255;
    if (scaled < 0.0f)
        return 0;
    return static_cast<std::uint8_t>(scaled);
}

void fillInputTensor(const Image& tile, TensorView& tensor) {
    if (tensor.typeCode != static_cast<int>(TensorElementType::float32))
        throw DnnUpscalerError::inferenceFailed(QStringLiteral("input context creation failed"));
    const int height = tensor.shape.size() == 4 ? int(tensor.shape[2]) : 0;
    const int width = tensor.shape.size() == 4 ? int(tensor.shape[3]) : 0;
    requireRegion(tensor, width, height, "input");

    std::optional<Image> converted;
    const Image* pixels = &tile;
    const bool packedRGBA8 = tile.bitsPerComponent == 8 && !tile.isFloat && tile.bitsPerPixel == 32 &&
                             (tile.alphaInfo == AlphaInfo::last ||
                              tile.alphaInfo == AlphaInfo::premultipliedLast ||
                              tile.alphaInfo == AlphaInfo::noneSkipLast);
    if (!packedRGBA8) {
        converted = ImageServices::toRGBA8(tile);
        pixels = &*converted;
    }
    const bool straightAlpha = pixels->alphaInfo == AlphaInfo::last;

    auto* data = static_cast<float*>(tensor.data);
    const std::int64_t s1 = tensor.strides[1];
    const std::int64_t s2 = tensor.strides[2];
    const std::int64_t s3 = tensor.strides[3];
    const int tileWidth = std::min(pixels->width, width);
    const int tileHeight = std::min(pixels->height, height);
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* row = y < tileHeight ? pixels->row(y) : nullptr;
        for (int x = 0; x < width; ++x) {
            float rgb[3] = {0, 0, 0};
            if (row && x < tileWidth) {
                const std::uint8_t* p = row + x * 4;
                const int alpha = straightAlpha ? p[3] : 255;
                for (int c = 0; c < 3; ++c) {
                    const int value = alpha == 255 ? p[c] : (p[c] * alpha + 127) / 255;
                    rgb[c] = float(value) / 255.0f;
                }
            }
            const std::int64_t i = y * s2 + x * s3;
            data[i] = rgb[0];
            data[i + s1] = rgb[1];
            data[i + 2 * s1] = rgb[2];
        }
    }
}

Image imageFromOutputTensor(const TensorView& tensor, int width, int height) {
    const bool half = tensor.typeCode == static_cast<int>(TensorElementType::float16);
    if (!half && tensor.typeCode != static_cast<int>(TensorElementType::float32))
        throw DnnUpscalerError::inferenceFailed(
            QStringLiteral("unsupported output dtype %1").arg(tensor.typeCode));
    requireRegion(tensor, width, height, "output");

    Image image = Image::make(width, height, 8, AlphaInfo::premultipliedLast,
                              ColorSpace::deviceRGB(), 3);
    const std::int64_t s1 = tensor.strides[1];
    const std::int64_t s2 = tensor.strides[2];
    const std::int64_t s3 = tensor.strides[3];
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = image.row(y);
        for (int x = 0; x < width; ++x) {
            const std::int64_t i = y * s2 + x * s3;
            for (int c = 0; c < 3; ++c) {
                const std::int64_t at = i + c * s1;
                const float v = half ? halfToFloat(static_cast<const std::uint16_t*>(tensor.data)[at])
                                     : static_cast<const float*>(tensor.data)[at];
                row[x * 4 + c] = byteFromUnitFloat(v);
            }
            row[x * 4 + 3] = 255;
        }
    }
    return image;
}

} // namespace glintwork
