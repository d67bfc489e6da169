#pragma once

#include <exception>
#include <optional>

#include <QByteArray>
#include <QString>

namespace glintwork {

// What failed, for the code that has to tell failures apart; people read the text.
enum class ErrorKind {
    // Reading a source image.
    imageUnreadable,   // missing, not a regular file, corrupt, truncated, not an image
    imageTooLarge,     // its header claims more pixels than we agree to decode
    unsupportedFormat, // a pixel layout a step cannot process or write as asked
    invalidDimensions, // an image without pixels, or sizes that do not fit together
    truncatedPixelData,
    missingColorSpace,
    pixelPreparationFailed, // turning pixels into the layout the next step works on
    // Writing an output.
    writeFailed,        // an encoder or the file system refused the output
    outputNotCreated,   // a step ended without leaving its file
    destinationRefused, // the output's folder will not take a file of that name
    fileSystemFailed,   // making a folder, moving or removing a file
    // Helper programs.
    toolNotFound,
    resourceFolderMissing,
    processLaunchFailed,
    processFailed, // a helper ended unsuccessfully
    encoderFailed, // an encoder could not convert the file
    // The tools' own steps.
    quantizationFailed,
    subjectDetectionFailed,
    maskGenerationFailed,
    maskConversionFailed,
    maskScalingFailed,
    noSubjectFound,
    modelNotAvailable,
    tensorConversionFailed,
    networkFailed,
    tileMergeFailed,
    outputTooLarge,
};

// What an error knows besides its text, each part where there is one.
struct ErrorDetails {
    QString file{};                   // the file it concerns
    std::optional<int> errorNumber{}; // the system's, when the system refused
    QString reason{};                 // the words of the layer below (a decoder's, a helper's)
};

// The one error type of the program: what failed, the translated text a person reads in a
// file's row, and its details; the reason is kept even when the text does not show it.
class Error : public std::exception {
public:
    Error(ErrorKind kind, QString text, ErrorDetails details = {});

    [[nodiscard]] ErrorKind kind() const { return m_kind; }
    [[nodiscard]] const QString& text() const { return m_text; }
    [[nodiscard]] const QString& file() const { return m_details.file; }
    [[nodiscard]] std::optional<int> errorNumber() const { return m_details.errorNumber; }
    [[nodiscard]] const QString& reason() const { return m_details.reason; }
    // What the layer above keeps as its reason when it words the failure anew.
    [[nodiscard]] const QString& reasonOrText() const {
        return m_details.reason.isEmpty() ? m_text : m_details.reason;
    }
    [[nodiscard]] const char* what() const noexcept override { return m_what.constData(); }

    friend bool operator==(const Error& a, const Error& b) {
        return a.m_kind == b.m_kind && a.m_text == b.m_text && a.file() == b.file() &&
               a.errorNumber() == b.errorNumber() && a.reason() == b.reason();
    }

private:
    ErrorKind m_kind;
    QString m_text;
    ErrorDetails m_details;
    QByteArray m_what;
};

// The system's text for an error number ("No space left on device").
[[nodiscard]] QString systemErrorText(int errorNumber);

// The user-visible text of the exception being handled (call inside a catch block).
[[nodiscard]] QString describeCurrentException();

} // namespace glintwork
