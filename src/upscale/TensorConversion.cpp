#include "upscale/TensorConversion.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <optional>

#include <QStringList>

#include "platform/ImageServices.h"
#include "upscale/UpscaleErrors.h"

namespace glintwork {

namespace {

// Engines may hand over any layout; a tensor whose shape or strides would make us read or
// write outside its storage fails the tile instead.
void requireRegion(const TensorView& tensor, int width, int height, const char* role) {
    const QString name = QLatin1String(role);
    if (tensor.shape.size() != 4 || tensor.strides.size() != 4)
        throw UpscaleErrors::tensorConversionFailed(
            QStringLiteral("%1 tensor has %2 dimensions, expected 4")
                .arg(name)
                .arg(tensor.shape.size()));
    if (tensor.shape[0] < 1 || tensor.shape[1] < 3 || tensor.shape[2] < height ||
        tensor.shape[3] < width) {
        QStringList dims;
        for (auto d : tensor.shape)
            dims << QString::number(d);
        throw UpscaleErrors::tensorConversionFailed(
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
        throw UpscaleErrors::tensorConversionFailed(
            QStringLiteral("%1 tensor strides reach past its data").arg(name));
}

// The top-left width × height pixels of a packed RGBA8 image as straight (not
// premultiplied) R, G, B floats in 0..1. A translucent pixel keeps its own colour at full
// strength; a fully transparent one has none worth keeping (black when premultiplied,
// anything at all otherwise), so it takes the colour of the visible pixels nearest to it:
// whatever the network mixes across an edge then matches the edge, instead of darkening it.
// The filling pulls alpha-weighted colours up a pyramid of halvings and pushes them back
// down into the holes, in time proportional to the area.
std::vector<float> straightColours(const Image& image, int width, int height) {
    const bool straight = image.alphaInfo == AlphaInfo::last;
    const bool premultiplied = image.alphaInfo == AlphaInfo::premultipliedLast;
    const std::size_t count = std::size_t(width) * std::size_t(height);
    std::vector<float> colours(count * 3);
    // Level 0 of the pyramid: colour × alpha and alpha, four floats a pixel.
    std::vector<float> weighted(count * 4);
    bool anyHidden = false;
    bool anyVisible = false;
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* row = image.row(y);
        for (int x = 0; x < width; ++x) {
            const std::uint8_t* p = row + x * 4;
            const int alpha = straight || premultiplied ? p[3] : 255;
            const std::size_t i = std::size_t(y) * std::size_t(width) + std::size_t(x);
            for (int c = 0; c < 3; ++c) {
                float value = float(p[c]) / 255.0f;
                if (premultiplied && alpha > 0 && alpha < 255)
                    value = std::min(1.0f, float(p[c]) / float(alpha));
                colours[i * 3 + std::size_t(c)] = value;
                weighted[i * 4 + std::size_t(c)] = value * float(alpha);
            }
            weighted[i * 4 + 3] = float(alpha);
            anyHidden = anyHidden || alpha == 0;
            anyVisible = anyVisible || alpha > 0;
        }
    }
    if (!anyHidden || !anyVisible)
        return colours;

    struct Level {
        int width;
        int height;
        std::vector<float> sums;
    };
    std::vector<Level> levels;
    levels.push_back({width, height, std::move(weighted)});
    while (levels.back().width > 1 || levels.back().height > 1) {
        const Level& fine = levels.back();
        Level coarse{(fine.width + 1) / 2, (fine.height + 1) / 2, {}};
        coarse.sums.assign(std::size_t(coarse.width) * std::size_t(coarse.height) * 4, 0.0f);
        for (int y = 0; y < fine.height; ++y)
            for (int x = 0; x < fine.width; ++x) {
                const float* from = fine.sums.data() +
                                    (std::size_t(y) * std::size_t(fine.width) + std::size_t(x)) * 4;
                float* to =
                    coarse.sums.data() +
                    (std::size_t(y / 2) * std::size_t(coarse.width) + std::size_t(x / 2)) * 4;
                for (int c = 0; c < 4; ++c)
                    to[c] += from[c];
            }
        levels.push_back(std::move(coarse));
    }
    // Down again: every level's empty cells take their parent's colour, so a hole is filled
    // from the smallest neighbourhood that sees something.
    for (std::size_t l = levels.size() - 1; l-- > 0;) {
        Level& fine = levels[l];
        const Level& coarse = levels[l + 1];
        for (int y = 0; y < fine.height; ++y)
            for (int x = 0; x < fine.width; ++x) {
                float* cell = fine.sums.data() +
                              (std::size_t(y) * std::size_t(fine.width) + std::size_t(x)) * 4;
                if (cell[3] > 0)
                    continue;
                const float* parent =
                    coarse.sums.data() +
                    (std::size_t(y / 2) * std::size_t(coarse.width) + std::size_t(x / 2)) * 4;
                for (int c = 0; c < 4; ++c)
                    cell[c] = parent[c];
            }
    }
    const std::vector<float>& filled = levels.front().sums;
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* row = image.row(y);
        for (int x = 0; x < width; ++x) {
            if (row[x * 4 + 3] != 0)
                continue;
            const std::size_t i = std::size_t(y) * std::size_t(width) + std::size_t(x);
            for (std::size_t c = 0; c < 3; ++c)
                colours[i * 3 + c] = filled[i * 4 + c] / filled[i * 4 + 3];
        }
    }
    return colours;
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
        throw UpscaleErrors::tensorConversionFailed(
            QStringLiteral("the input tensor does not hold 32-bit floats"));
    const int height = tensor.shape.size() == 4 ? int(tensor.shape[2]) : 0;
    const int width = tensor.shape.size() == 4 ? int(tensor.shape[3]) : 0;
    requireRegion(tensor, width, height, "input");

    std::optional<Image> converted;
    const Image* pixels = &tile;
    const bool packedRGBA8 =
        tile.bitsPerComponent == 8 && !tile.isFloat && tile.bitsPerPixel == 32 &&
        (tile.alphaInfo == AlphaInfo::last || tile.alphaInfo == AlphaInfo::premultipliedLast);
    if (!packedRGBA8 && !tile.isEmpty()) {
        converted = ImageServices::toRGBA8(tile);
        pixels = &*converted;
    }

    auto* data = static_cast<float*>(tensor.data);
    const std::int64_t s1 = tensor.strides[1];
    const std::int64_t s2 = tensor.strides[2];
    const std::int64_t s3 = tensor.strides[3];
    const int tileWidth = std::min(pixels->width, width);
    const int tileHeight = std::min(pixels->height, height);
    if (tileWidth < 1 || tileHeight < 1) {
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                for (int c = 0; c < 3; ++c)
                    data[y * s2 + x * s3 + c * s1] = 0.0f;
        return;
    }
    const std::vector<float> colours = straightColours(*pixels, tileWidth, tileHeight);
    // The canvas beyond the tile repeats its last column and row: black there would be an
    // edge the network sharpens into dark lines and a bright ring.
    for (int y = 0; y < height; ++y) {
        const float* row =
            colours.data() + std::size_t(std::min(y, tileHeight - 1)) * std::size_t(tileWidth) * 3;
        for (int x = 0; x < width; ++x) {
            const float* rgb = row + std::size_t(std::min(x, tileWidth - 1)) * 3;
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
        throw UpscaleErrors::tensorConversionFailed(
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
