#include "compress/ConversionError.h"

#include <utility>

#include <QCoreApplication>

namespace glintwork {

ConversionError::ConversionError(Kind kind, qint32 exitCode, QString errorOutput)
    : m_kind(kind), m_exitCode(exitCode), m_errorOutput(std::move(errorOutput)) {}

ConversionError ConversionError::processExitedWithError(qint32 exitCode, QString errorOutput,
                                                        QString encoder) {
    ConversionError error(Kind::processExitedWithError, exitCode, std::move(errorOutput));
    error.m_encoder = std::move(encoder);
    return error;
}

ConversionError ConversionError::imageDecodingFailed() {
    return ConversionError(Kind::imageDecodingFailed, 0, QString());
}

ConversionError ConversionError::bmpExportFailed(QString reason) {
    return ConversionError(Kind::bmpExportFailed, 0, std::move(reason));
}

ConversionError ConversionError::outputFileNotCreated() {
    return ConversionError(Kind::outputFileNotCreated, 0, QString());
}

QString ConversionError::description() const {
    switch (m_kind) {
    case Kind::processExitedWithError: {
        // One sentence per encoder, so that each language can word it; both placeholders
        // in one pass, as the tool's own text may contain "%1".
        const char* text = nullptr;
        if (m_encoder == u"cwebp")
            text = QT_TRANSLATE_NOOP(
                "ConversionError",
                "The WebP encoder could not convert this file (exit status %1): %2");
        else if (m_encoder == u"cjpeg")
            text = QT_TRANSLATE_NOOP(
                "ConversionError",
                "The JPEG encoder could not convert this file (exit status %1): %2");
        else if (m_encoder == u"avifenc")
            text = QT_TRANSLATE_NOOP(
                "ConversionError",
                "The AVIF encoder could not convert this file (exit status %1): %2");
        else if (m_encoder == u"oxipng")
            text = QT_TRANSLATE_NOOP(
                "ConversionError",
                "The PNG optimiser could not convert this file (exit status %1): %2");
        else if (m_encoder == u"glintwork-heic-encoder")
            text = QT_TRANSLATE_NOOP(
                "ConversionError",
                "The HEIC encoder could not convert this file (exit status %1): %2");
        else
            text = QT_TRANSLATE_NOOP(
                "ConversionError", "The encoder could not convert this file (exit status %1): %2");
        return QCoreApplication::translate("ConversionError", text)
            .arg(QString::number(m_exitCode), m_errorOutput);
    }
    case Kind::imageDecodingFailed:
        return QCoreApplication::translate("ConversionError", "Image decoding failed");
    case Kind::bmpExportFailed:
        // The file is a TGA, whatever the kind's historical name says.
        return QCoreApplication::translate("ConversionError", "TGA export failed: %1")
            .arg(m_errorOutput);
    case Kind::outputFileNotCreated:
        return QCoreApplication::translate("ConversionError", "Output file was not created");
    }
    return {};
}

} // namespace glintwork
