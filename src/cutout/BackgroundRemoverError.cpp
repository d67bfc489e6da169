#include "cutout/BackgroundRemoverError.h"

#include <QCoreApplication>

namespace glintwork {

BackgroundRemoverError BackgroundRemoverError::maskGenerationFailed(QString reason) {
    return {Kind::maskGenerationFailed, std::move(reason)};
}

BackgroundRemoverError BackgroundRemoverError::cgImageConversionFailed(QString reason) {
    return {Kind::cgImageConversionFailed, std::move(reason)};
}

BackgroundRemoverError BackgroundRemoverError::visionRequestFailed(QString text) {
    return {Kind::visionRequestFailed, std::move(text)};
}

BackgroundRemoverError BackgroundRemoverError::noSubjectFound() {
    return {Kind::noSubjectFound, QString()};
}

QString BackgroundRemoverError::description() const {
    switch (m_kind) {
    case Kind::maskGenerationFailed:
        return QCoreApplication::translate("BackgroundRemoverError",
                                           "Failed to generate a mask from the detected subject: ") +
               m_text;
    case Kind::cgImageConversionFailed:
        return QCoreApplication::translate("BackgroundRemoverError",
                                           "The image could not be prepared from the subject mask: ") +
               m_text;
    case Kind::visionRequestFailed:
        return QCoreApplication::translate("BackgroundRemoverError", "Subject detection failed: ") +
               m_text;
    case Kind::noSubjectFound:
        return QCoreApplication::translate("BackgroundRemoverError",
                                           "No foreground subject was detected in the image.");
    }
    return m_text;
}

} // namespace glintwork
