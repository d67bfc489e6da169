#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include <QString>

#include "platform/Image.h"

namespace glintwork {

// How a mask buffer stores its one sample a pixel.
enum class MaskSampleFormat {
    byte,    // 0–255
    float32, // 0–1, in this machine's byte order
};

// A mask as a segmentation back end hands it over: any row stride, byte or float
// samples, larger values meaning subject. `bytes` holds `height` rows of `bytesPerRow`
// bytes; an empty `bytes` stands for a buffer without any pixels.
struct MaskPixelBuffer {
    MaskSampleFormat format = MaskSampleFormat::byte;
    int width = 0;
    int height = 0;
    std::size_t bytesPerRow = 0;
    std::vector<std::uint8_t> bytes;

    // The first row's first byte; null for a buffer without pixels.
    [[nodiscard]] const std::uint8_t* firstRow() const {
        return bytes.empty() ? nullptr : bytes.data();
    }
};

// The packed mask every consumer receives: one 8-bit component, rows of exactly `width`
// bytes, linear grey. Throws Error (maskConversionFailed).
[[nodiscard]] Image packedMask(const MaskPixelBuffer& buffer);

// A float mask sample as a byte: 255 from 1.0 up and for NaN, else the sample times 255
// rounded half away from zero, negatives giving 0.
[[nodiscard]] std::uint8_t floatSampleToByte(float value);

} // namespace glintwork
