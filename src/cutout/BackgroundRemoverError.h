#pragma once

#include <QString>

#include "platform/DescribedError.h"

namespace glintwork {

// Why a subject mask could not be obtained. Back-end failures never travel raw: their
// text becomes the payload of one of these cases.
class BackgroundRemoverError : public DescribedError {
public:
    enum class Kind { maskGenerationFailed, cgImageConversionFailed, visionRequestFailed, noSubjectFound };

    [[nodiscard]] static BackgroundRemoverError maskGenerationFailed(QString reason);
    [[nodiscard]] static BackgroundRemoverError cgImageConversionFailed(QString reason);
    [[nodiscard]] static BackgroundRemoverError visionRequestFailed(QString text);
    [[nodiscard]] static BackgroundRemoverError noSubjectFound();

    [[nodiscard]] Kind kind() const { return m_kind; }
    [[nodiscard]] const QString& text() const { return m_text; }
    [[nodiscard]] QString description() const override;

    friend bool operator==(const BackgroundRemoverError& a, const BackgroundRemoverError& b) {
        return a.m_kind == b.m_kind && a.m_text == b.m_text;
    }

private:
    BackgroundRemoverError(Kind kind, QString text) : m_kind(kind), m_text(std::move(text)) {}

    Kind m_kind;
    QString m_text;
};

} // namespace glintwork
