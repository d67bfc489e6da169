#include "upscale/UpscaleErrors.h"

#include <QCoreApplication>

namespace glintwork::UpscaleErrors {

Error modelNotAvailable(UpscaleModel model) {
    return Error(
        ErrorKind::modelNotAvailable,
        QCoreApplication::translate("UpscaleErrors", "AI upscale model (") + displayName(model) +
            QCoreApplication::translate(
                "UpscaleErrors", ") is not installed. Install the glintwork-models package, or run "
                                 "scripts/setup-models in a source checkout."));
}

Error tensorConversionFailed(const QString& reason) {
    return Error(ErrorKind::tensorConversionFailed,
                 QCoreApplication::translate("UpscaleErrors", "Upscale inference failed: ") +
                     reason,
                 {.reason = reason});
}

Error networkFailed(const QString& message) {
    return Error(ErrorKind::networkFailed, message, {.reason = message});
}

} // namespace glintwork::UpscaleErrors
