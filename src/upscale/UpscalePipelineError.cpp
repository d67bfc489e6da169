#include "upscale/UpscalePipelineError.h"

#include <QCoreApplication>

namespace glintwork {

UpscalePipelineError UpscalePipelineError::sourceUnreadable(const QUrl& source) {
    return {Kind::sourceUnreadable, source};
}

UpscalePipelineError UpscalePipelineError::writeFailed(const QUrl& output, QString reason) {
    return {Kind::writeFailed, output, 0, 0, std::move(reason)};
}

UpscalePipelineError UpscalePipelineError::mergeFailed() {
    return {Kind::mergeFailed, {}};
}

UpscalePipelineError UpscalePipelineError::outputTooLarge(qint64 width, qint64 height) {
    return {Kind::outputTooLarge, {}, width, height};
}

QString UpscalePipelineError::description() const {
    switch (m_kind) {
    case Kind::sourceUnreadable:
        return QCoreApplication::translate("UpscalePipelineError", "Could not read source image at ") +
               m_url.fileName() + QStringLiteral(".");
    case Kind::writeFailed:
        return QCoreApplication::translate("UpscalePipelineError",
                                           "Failed to write upscaled image to ") +
               m_url.fileName() + QStringLiteral(".") +
               (m_reason.isEmpty() ? QString() : QLatin1Char(' ') + m_reason);
    case Kind::mergeFailed:
        return QCoreApplication::translate("UpscalePipelineError",
                                           "Failed to merge upscaled tiles into final image.");
    case Kind::outputTooLarge:
        return QCoreApplication::translate(
                   "UpscalePipelineError",
                   "The upscaled image would be %1 × %2 pixels, more than the %3 megapixels "
                   "this program holds in memory.")
            .arg(m_width)
            .arg(m_height)
            .arg(kMaxUpscaledPixels / 1'000'000);
    }
    return {};
}

} // namespace glintwork
