#include "upscale/DnnUpscalerError.h"

#include <QCoreApplication>

namespace glintwork {

DnnUpscalerError DnnUpscalerError::modelNotAvailable(UpscaleModel model) {
    return {Kind::modelNotAvailable, model, {}};
}

DnnUpscalerError DnnUpscalerError::inferenceFailed(QString reason) {
    return {Kind::inferenceFailed, UpscaleModel::x4plus, std::move(reason)};
}

DnnUpscalerError DnnUpscalerError::runtimeFailed(QString message) {
    return {Kind::runtimeFailed, UpscaleModel::x4plus, std::move(message)};
}

QString DnnUpscalerError::description() const {
    switch (m_kind) {
    case Kind::modelNotAvailable:
        return QCoreApplication::translate("DnnUpscalerError", "AI upscale model (") +
               displayName(m_model) +
               QCoreApplication::translate(
                   "DnnUpscalerError",
                   ") is not installed. Install the glintwork-models package, or run "
                   "scripts/setup-models in a source checkout.");
    case Kind::inferenceFailed:
        return QCoreApplication::translate("DnnUpscalerError", "Upscale inference failed: ") + m_text;
    case Kind::runtimeFailed:
        return m_text;
    }
    return m_text;
}

} // namespace glintwork
