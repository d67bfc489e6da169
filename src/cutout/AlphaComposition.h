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

    [[nodiscard]] static AlphaCompositionError
    unsupportedPixelFormat(int bitsPerComponent, int bitsPerPixel, AlphaInfo alphaInfo);
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

// The "Lossless" cut-out: the source's colour bytes copied unchanged (never converted or
// reordered within a component) into packed colour plus straight alpha. 8- and 16-bit RGB
// or grey, with or without an alpha or padding component, first or last; grey stays grey.
// The alpha is the smaller of the source's own alpha and the mask's, scaled to the
// source's size; a premultiplied source's colours are divided by its alpha. Throws
// AlphaCompositionError, or BackgroundRemoverError (noSubjectFound) when next to nothing
// would stay visible.
[[nodiscard]] Image withMaskAsAlpha(const Image& source, const Image& mask);

// Runs the source checks of withMaskAsAlpha, in their order, without a mask: a source
// that will be refused is refused before any mask is computed for it.
void checkLosslessSource(const Image& source);

// A cut-out with fewer than this share of its pixels at alpha one half or more shows no
// subject. Measured on sample photographs: subjects cover 10 % or more; scenery without one
// leaves nothing, or a few specks (a starry sky keeps 0.07 % in two galaxies), or picks out
// one salient part of a building (0.26 % and more), which is a cut-out worth writing.
inline constexpr double kMinimumVisibleShare = 0.001;

// Throws BackgroundRemoverError (noSubjectFound) when `visiblePixels` of `pixels` is under
// that share.
void requireVisibleSubject(std::size_t visiblePixels, std::size_t pixels);

} // namespace glintwork
