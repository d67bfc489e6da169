#pragma once

#include <QString>

#include "platform/DescribedError.h"
#include "upscale/UpscaleSettings.h"

namespace glintwork {

// Why a tile could not be upscaled.
class DnnUpscalerError : public DescribedError {
public:
    enum class Kind {
        modelNotAvailable, // the network's file is missing or does not load
        inferenceFailed,   // our own conversion around the network refused the tensors
        runtimeFailed,     // the inference engine raised an error; its own text is shown
    };

    [[nodiscard]] static DnnUpscalerError modelNotAvailable(UpscaleModel model);
    [[nodiscard]] static DnnUpscalerError inferenceFailed(QString reason);
    [[nodiscard]] static DnnUpscalerError runtimeFailed(QString message);

    [[nodiscard]] Kind kind() const { return m_kind; }
    [[nodiscard]] UpscaleModel model() const { return m_model; }
    [[nodiscard]] const QString& reason() const { return m_text; }
    [[nodiscard]] QString description() const override;

private:
    DnnUpscalerError(Kind kind, UpscaleModel model, QString text)
        : m_kind(kind), m_model(model), m_text(std::move(text)) {}

    Kind m_kind;
    UpscaleModel m_model;
    QString m_text;
};

} // namespace glintwork
