#include "cutout/CutoutErrors.h"

#include <QCoreApplication>

namespace glintwork::CutoutErrors {

Error maskGenerationFailed(const QString& reason) {
    return Error(ErrorKind::maskGenerationFailed,
                 QCoreApplication::translate(
                     "CutoutErrors", "Failed to generate a mask from the detected subject: ") +
                     reason,
                 {.reason = reason});
}

Error maskConversionFailed(const QString& reason) {
    return Error(ErrorKind::maskConversionFailed,
                 QCoreApplication::translate(
                     "CutoutErrors", "The image could not be prepared from the subject mask: ") +
                     reason,
                 {.reason = reason});
}

Error subjectDetectionFailed(const QString& reason) {
    return Error(ErrorKind::subjectDetectionFailed,
                 QCoreApplication::translate("CutoutErrors", "Subject detection failed: ") + reason,
                 {.reason = reason});
}

Error noSubjectFound() {
    return Error(ErrorKind::noSubjectFound,
                 QCoreApplication::translate("CutoutErrors",
                                             "No foreground subject was detected in the image."));
}

Error maskScalingFailed() {
    return Error(
        ErrorKind::maskScalingFailed,
        QCoreApplication::translate("AlphaComposition",
                                    "Failed to scale the mask to the source image resolution."));
}

} // namespace glintwork::CutoutErrors
