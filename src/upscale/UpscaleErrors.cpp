#include "upscale/UpscaleErrors.h"

#include <QCoreApplication>

namespace glintwork::UpscaleErrors {

// The texts keep the context their translations are filed under.
Error modelNotAvailable(UpscaleModel model) {
    return Error(ErrorKind::modelNotAvailable,
                 QCoreApplication::translate("DnnUpscalerError", "AI upscale model (") +
                     displayName(model) +
                     QCoreApplication::translate(
                         "DnnUpscalerError",
                         ") is not installed. Install the glintwork-models package, or run "
                         "scripts/setup-models in a source checkout."));
}

Error tensorConversionFailed(const QString& reason) {
    return Error(ErrorKind::tensorConversionFailed,
                 QCoreApplication::translate("DnnUpscalerError", "Upscale inference failed: ") +
                     reason,
                 {.reason = reason});
}

Error networkFailed(const QString& message) {
    return Error(ErrorKind::networkFailed, message, {.reason = message});
}

} // namespace glintwork::UpscaleErrors
