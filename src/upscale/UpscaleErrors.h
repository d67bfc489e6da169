#pragma once

#include <QString>

#include "platform/Error.h"
#include "upscale/UpscaleSettings.h"

// Why a tile could not be upscaled.
namespace glintwork::UpscaleErrors {

// The network's file is missing.
[[nodiscard]] Error modelNotAvailable(UpscaleModel model);
// Our own conversion around the network refused the tensors.
[[nodiscard]] Error tensorConversionFailed(const QString& reason);
// The network could not be loaded or run; its own text is shown.
[[nodiscard]] Error networkFailed(const QString& message);

} // namespace glintwork::UpscaleErrors
