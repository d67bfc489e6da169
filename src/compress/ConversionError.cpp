#include "compress/ConversionError.h"

#include <utility>

#include <QCoreApplication>

namespace glintwork {

ConversionError::ConversionError(Kind kind, qint32 exitCode, QString errorOutput)
    : m_kind(kind), m_exitCode(exitCode), m_errorOutput(std::move(errorOutput)) {}

ConversionError ConversionError::processExitedWithError(qint32 exitCode, QString errorOutput) {
    return ConversionError(Kind::processExitedWithError, exitCode, std::move(errorOutput));
}

ConversionError ConversionError::imageDecodingFailed() {
    return ConversionError(Kind::imageDecodingFailed, 0, QString());
}

ConversionError ConversionError::bmpExportFailed() {
    return ConversionError(Kind::bmpExportFailed, 0, QString());
}

ConversionError ConversionError::outputFileNotCreated() {
    return ConversionError(Kind::outputFileNotCreated, 0, QString());
}

QString ConversionError::description() const {
    switch (m_kind) {
    case Kind::processExitedWithError:
        // Both placeholders in one pass: the tool's own text may contain "%1".
        return QCoreApplication::translate("ConversionError", "The encoder could not convert this file (exit status %1): %2")
            .arg(QString::number(m_exitCode), m_errorOutput);
    case Kind::imageDecodingFailed:
        return QCoreApplication::translate("ConversionError", "Image decoding failed");
    case Kind::bmpExportFailed:
        return QCoreApplication::translate("ConversionError", "BMP export failed");
    case Kind::outputFileNotCreated:
        return QCoreApplication::translate("ConversionError", "Output file was not created");
    }
    return {};
}

} // namespace glintwork
