#pragma once

#include <QString>

#include "platform/DescribedError.h"

namespace glintwork {

// Failures of the image converter itself, with the text a user sees in a file's row.
class ConversionError : public DescribedError {
public:
    enum class Kind {
        processExitedWithError,
        imageDecodingFailed,
        bmpExportFailed,
        outputFileNotCreated,
    };

    // `encoder` is the program's file name ("cjpeg"), which the text names in words.
    [[nodiscard]] static ConversionError
    processExitedWithError(qint32 exitCode, QString errorOutput, QString encoder = {});
    [[nodiscard]] static ConversionError imageDecodingFailed();
    // The temporary TGA handed to cjpeg could not be written; `reason` says why.
    [[nodiscard]] static ConversionError bmpExportFailed(QString reason);
    [[nodiscard]] static ConversionError outputFileNotCreated();

    [[nodiscard]] Kind kind() const { return m_kind; }
    // Only meaningful for processExitedWithError.
    [[nodiscard]] qint32 exitCode() const { return m_exitCode; }
    // The tool's error output (processExitedWithError), or why the file could not be
    // written (bmpExportFailed).
    [[nodiscard]] const QString& errorOutput() const { return m_errorOutput; }
    [[nodiscard]] const QString& encoder() const { return m_encoder; }

    [[nodiscard]] QString description() const override;

    friend bool operator==(const ConversionError& a, const ConversionError& b) {
        return a.m_kind == b.m_kind && a.m_exitCode == b.m_exitCode &&
               a.m_errorOutput == b.m_errorOutput && a.m_encoder == b.m_encoder;
    }

private:
    ConversionError(Kind kind, qint32 exitCode, QString errorOutput);

    Kind m_kind;
    qint32 m_exitCode = 0;
    QString m_errorOutput;
    QString m_encoder;
};

} // namespace glintwork
