#include "cutout/MaskPixelBuffer.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>

#include "cutout/CutoutErrors.h"

namespace glintwork {

std::uint8_t floatSampleToByte(float value) {
    if (std::isnan(value) || value >= 1.0f)
        return 255;
    const double scaled = std::max(static_cast<double>(value), 0.0) * 255.0;
    return static_cast<std::uint8_t>(std::round(scaled));
}

Image packedMask(const MaskPixelBuffer& buffer) {
    const bool isFloat = buffer.format == MaskSampleFormat::float32;
    if (buffer.width < 1 || buffer.height < 1)
        throw CutoutErrors::maskConversionFailed(
            QStringLiteral("invalid mask dimensions %1x%2").arg(buffer.width).arg(buffer.height));
    const std::uint8_t* base = buffer.firstRow();
    if (!base)
        throw CutoutErrors::maskConversionFailed(QStringLiteral("the mask buffer holds no pixels"));
    // A stride shorter than a row, or fewer bytes than the rows need, would read beyond
    // the buffer; such a buffer is refused rather than read.
    const std::size_t sampleSize = isFloat ? sizeof(float) : 1;
    const std::size_t rowBytes = std::size_t(buffer.width) * sampleSize;
    if (buffer.bytesPerRow < rowBytes ||
        buffer.bytes.size() < buffer.bytesPerRow * std::size_t(buffer.height - 1) + rowBytes)
        throw CutoutErrors::maskConversionFailed(
            QStringLiteral("mask pixel buffer is shorter than its %1 rows").arg(buffer.height));

    const std::size_t count = std::size_t(buffer.width) * std::size_t(buffer.height);
    Image mask;
    try {
        mask.pixels.resize(count);
    } catch (const std::bad_alloc&) {
        throw CutoutErrors::maskConversionFailed(
            QStringLiteral("failed to allocate %1 bytes for packed mask").arg(count));
    } catch (const std::length_error&) {
        throw CutoutErrors::maskConversionFailed(
            QStringLiteral("failed to allocate %1 bytes for packed mask").arg(count));
    }
    for (int y = 0; y < buffer.height; ++y) {
        const std::uint8_t* in = base + std::size_t(y) * buffer.bytesPerRow;
        std::uint8_t* out = mask.pixels.data() + std::size_t(y) * std::size_t(buffer.width);
        if (!isFloat) {
            std::memcpy(out, in, std::size_t(buffer.width));
            continue;
        }
        for (int x = 0; x < buffer.width; ++x) {
            float value;
            std::memcpy(&value, in + std::size_t(x) * sizeof(float), sizeof(float));
            out[x] = floatSampleToByte(value);
        }
    }
    mask.width = buffer.width;
    mask.height = buffer.height;
    mask.bitsPerComponent = 8;
    mask.bitsPerPixel = 8;
    mask.bytesPerRow = buffer.width;
    mask.alphaInfo = AlphaInfo::none;
    mask.colorSpace = ColorSpace::linearGray();
    return mask;
}

} // namespace glintwork
