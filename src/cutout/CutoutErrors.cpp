#include "cutout/CutoutErrors.h"

#include <QCoreApplication>

namespace glintwork::CutoutErrors {

// The texts keep the context their translations are filed under.
Error maskGenerationFailed(const QString& reason) {
    return Error(
        ErrorKind::maskGenerationFailed,
        QCoreApplication::translate("BackgroundRemoverError",
                                    "Failed to generate a mask from the detected subject: ") +
            reason,
        {.reason = reason});
}

Error maskConversionFailed(const QString& reason) {
    return Error(
        ErrorKind::maskConversionFailed,
        QCoreApplication::translate("BackgroundRemoverError",
                                    "The image could not be prepared from the subject mask: ") +
            reason,
        {.reason = reason});
}

Error subjectDetectionFailed(const QString& reason) {
    return Error(
        ErrorKind::subjectDetectionFailed,
        QCoreApplication::translate("BackgroundRemoverError", "Subject detection failed: ") +
            reason,
        {.reason = reason});
}

Error noSubjectFound() {
    return Error(ErrorKind::noSubjectFound,
                 QCoreApplication::translate("BackgroundRemoverError",
                                             "No foreground subject was detected in the image."));
}

Error maskScalingFailed() {
    return Error(
        ErrorKind::maskScalingFailed,
        QCoreApplication::translate("AlphaCompositionError",
                                    "Failed to scale the mask to the source image resolution."));
}

} // namespace glintwork::CutoutErrors
