#pragma once

#include <QString>

#include "platform/Error.h"

// The failures of finding the subject, shared by the segmenters, the mask's conversion and
// the cut-outs. Back-end failures never travel raw: their text becomes the reason of one of
// these.
namespace glintwork::CutoutErrors {

[[nodiscard]] Error maskGenerationFailed(const QString& reason);
// The network's output could not become a mask image.
[[nodiscard]] Error maskConversionFailed(const QString& reason);
// The segmenter could not run, or its network could not be loaded.
[[nodiscard]] Error subjectDetectionFailed(const QString& reason);
[[nodiscard]] Error noSubjectFound();
[[nodiscard]] Error maskScalingFailed();

} // namespace glintwork::CutoutErrors
