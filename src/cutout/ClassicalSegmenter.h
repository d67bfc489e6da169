#pragma once

#include "cutout/MaskPixelBuffer.h"
#include "platform/Image.h"

namespace glintwork {

// The segmenter that needs no model: it learns the background from the image's border
// (a smooth colour surface, so plain and gradient backdrops both fit), marks what stands
// out from it, keeps the substantial connected regions and gives them soft edges at full
// resolution. Meant for product shots, studio portraits and objects on a table.
namespace ClassicalSegmenter {

// An 8-bit mask at the image's resolution. Throws Error (noSubjectFound when nothing
// stands out from the background, subjectDetectionFailed when the image cannot be read).
[[nodiscard]] MaskPixelBuffer segment(const Image& image);

} // namespace ClassicalSegmenter
} // namespace glintwork
