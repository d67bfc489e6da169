#pragma once

#include <cstdint>
#include <vector>

#include <QString>

#include "platform/DescribedError.h"
#include "cutout/MaskResampling.h"
#include "platform/Image.h"

namespace glintwork {

// Why a mask could not become an alpha channel or a mask file.
class AlphaCompositionError : public DescribedError {
public:
    enum class Kind {
        unsupportedPixelFormat,
        invalidImageDimensions,
        truncatedPixelData,
        unreadablePixelData,
        unsupportedFloatPixelFormat,
        missingColorSpace,
        maskScalingFailed,
        outputAllocationFailed,
    };

    [[nodiscard]] static AlphaCompositionError unsupportedPixelFormat(int bitsPerComponent,
                                                                      int bitsPerPixel,
                                                                      AlphaInfo alphaInfo);
    [[nodiscard]] static AlphaCompositionError invalidImageDimensions(int width, int height);
    [[nodiscard]] static AlphaCompositionError truncatedPixelData(qint64 expected, qint64 actual);
    [[nodiscard]] static AlphaCompositionError simple(Kind kind);

    [[nodiscard]] Kind kind() const { return m_kind; }
    [[nodiscard]] QString description() const override;

    friend bool operator==(const AlphaCompositionError& a, const AlphaCompositionError& b) {
        return a.m_kind == b.m_kind && a.m_first == b.m_first && a.m_second == b.m_second &&
               a.m_third == b.m_third;
    }

private:
    AlphaCompositionError(Kind kind, qint64 first, qint64 second, qint64 third)
        : m_kind(kind), m_first(first), m_second(second), m_third(third) {}

    Kind m_kind;
    qint64 m_first = 0;
    qint64 m_second = 0;
    qint64 m_third = 0;
};

// The "Lossless" cut-out: the source's colour bytes copied unchanged (never converted,
// un-premultiplied or reordered within a component) into packed R, G, B, A with the mask,
// scaled to the source's size, as straight alpha. Accepts 8- and 16-bit RGB with or
// without an alpha or padding component, first or last. Throws AlphaCompositionError.
[[nodiscard]] Image withMaskAsAlpha(const Image& source, const Image& mask);

// Runs the source checks of withMaskAsAlpha, in their order, without a mask: a source
// that will be refused is refused before any mask is computed for it.
void checkLosslessSource(const Image& source);

} // namespace glintwork
