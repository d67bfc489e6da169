#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include <QString>

#include "platform/Image.h"

namespace glintwork {

// One-component pixel-format codes (four-character codes, most significant byte first).
inline constexpr std::uint32_t kOneComponent8 = 0x4C303038;       // 'L008'
inline constexpr std::uint32_t kOneComponent32Float = 0x4C303066; // 'L00f'
inline constexpr std::uint32_t kOneComponent16Half = 0x4C303068;  // 'L00h'

// A mask as a segmentation back end hands it over: any row stride, 8-bit or float
// samples, larger values meaning subject. `bytes` holds `height` rows of `bytesPerRow`
// bytes; an empty `bytes` stands for a buffer without a base address.
struct MaskPixelBuffer {
    std::uint32_t pixelFormat = kOneComponent8;
    int width = 0;
    int height = 0;
    std::size_t bytesPerRow = 0;
    std::vector<std::uint8_t> bytes;

    [[nodiscard]] const std::uint8_t* baseAddress() const {
        return bytes.empty() ? nullptr : bytes.data();
    }
};

// The packed mask every consumer receives: one 8-bit component, rows of exactly `width`
// bytes, linear grey. Throws BackgroundRemoverError (cgImageConversionFailed).
[[nodiscard]] Image packedMask(const MaskPixelBuffer& buffer);

// A float mask sample as a byte: 255 from 1.0 up and for NaN, else the sample times 255
// rounded half away from zero, negatives giving 0.
[[nodiscard]] std::uint8_t floatSampleToByte(float value);

// Share of pixels at or above 128 in an 8-bit matte; 1.0 for any other format (such a
// matte is trusted), 0.0 for an empty buffer. Row padding is never read.
[[nodiscard]] double personCoverage(const MaskPixelBuffer& buffer);

// 'L008' for a printable four-character code, else 0x followed by lower-case hex.
[[nodiscard]] QString formatString(std::uint32_t code);

} // namespace glintwork
