#pragma once

#include <cstdint>
#include <vector>

#include <QString>

#include "cutout/MaskResampling.h"
#include "platform/Image.h"

namespace glintwork {

// The "Lossless" cut-out: the source's colour bytes copied unchanged (never converted or
// reordered within a component) into packed colour plus straight alpha. 8- and 16-bit RGB
// or grey, with or without an alpha or padding component, first or last; grey stays grey.
// The alpha is the smaller of the source's own alpha and the mask's, scaled to the
// source's size; a premultiplied source's colours are divided by its alpha. Throws Error:
// the source's refusal, or noSubjectFound when next to nothing would stay visible.
[[nodiscard]] Image withMaskAsAlpha(const Image& source, const Image& mask);

// Runs the source checks of withMaskAsAlpha, in their order, without a mask: a source
// that will be refused is refused before any mask is computed for it.
void checkLosslessSource(const Image& source);

// A cut-out with fewer than this share of its pixels at alpha one half or more shows no
// subject. Measured on sample photographs: subjects cover 10 % or more; scenery without one
// leaves nothing, or a few specks (a starry sky keeps 0.07 % in two galaxies), or picks out
// one salient part of a building (0.26 % and more), which is a cut-out worth writing.
inline constexpr double kMinimumVisibleShare = 0.001;

// Throws Error (noSubjectFound) when `visiblePixels` of `pixels` is under
// that share.
void requireVisibleSubject(std::size_t visiblePixels, std::size_t pixels);

} // namespace glintwork
