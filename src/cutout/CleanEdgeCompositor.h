#pragma once

#include <cstdint>
#include <vector>

#include <QString>

#include "platform/Image.h"

namespace glintwork {

// The "Clean Edges" cut-out: the source rendered as 8-bit RGBA, the matte cleaned of faint
// stray islands, the colours of the soft edge replaced by an estimate of the subject's own
// colour there so no background colour bleeds into it, and the cleaned matte, never more
// opaque than the source itself, as straight alpha.
namespace CleanEdgeCompositor {

// The matte may have any size; it is rescaled to the image's. The result is packed
// 8-bit RGBA with straight alpha, in the source's colour space when that is RGB, else
// in device RGB. Throws Error: invalidDimensions, pixelPreparationFailed, or noSubjectFound when
// next to nothing would stay visible.
[[nodiscard]] Image composite(const Image& image, const Image& matte);

// The passes on packed buffers of width × height entries, exposed for tests and the
// benchmark. `alpha` holds the matte as bytes (alpha = byte ÷ 255).

// Removes detached parts that are neither large next to the main subject nor confident
// (mean alpha at least 0.8 over a few hundred pixels at the network's resolution).
void removeSmallComponents(std::vector<std::uint8_t>& alpha, int width, int height);

// How far from the outline (where alpha crosses one half) colours may change, in pixels:
// one and a half times the median width of the matte's transition there, within bounds.
// 0 when the matte has no outline.
[[nodiscard]] double edgeBandWidth(const std::vector<std::uint8_t>& alpha, int width, int height);

// Replaces the colour of each visible pixel with alpha up to 0.9 within the edge band by an
// estimate of the foreground's own colour (blur-fusion: local means of the foreground and
// the background weighted by alpha, corrected by the pixel's own residual), fading out
// towards alpha 0.9 and towards the band's outer limit. Every other pixel keeps its colour.
void estimateForeground(std::vector<std::uint8_t>& rgba, const std::vector<std::uint8_t>& alpha,
                        int width, int height);

} // namespace CleanEdgeCompositor
} // namespace glintwork
