#pragma once

#include <optional>

#include <QSet>
#include <QString>
#include <QUrl>

#include "compress/ConversionSettings.h"
#include "platform/ExitCleanup.h"
#include "platform/Image.h"
#include "compress/PNGQuantizer.h"

namespace glintwork {

class CancellationToken;

// Turns one image file into one file of an output format: PNG through the palette
// quantizer (then oxipng when it is installed), WebP, JPEG and AVIF through the bundled
// encoders and HEIC through our own glintwork-heic-encoder, all run as child processes so
// that cancelling ends them. Encoders read sRGB only: an input with another profile, or
// CMYK, is converted into a temporary file first. Holds no state; every call blocks the
// calling worker thread and may run alongside others.
//
// Outputs are written upright (no orientation tag) and never replace an existing file:
// each encoder writes a hidden temporary file in the output's folder, which is moved to
// its name only when complete, and only if that name is still free.
class ImageConverter {
public:
    // The file a helper executable reads: the input itself, or a temporary file of this
    // conversion, which is removed when the object goes (or on cleanup()).
    class PreparedInput {
    public:
        explicit PreparedInput(QUrl url, std::optional<QUrl> tempFile = std::nullopt);
        PreparedInput(PreparedInput&& other) noexcept;
        PreparedInput& operator=(PreparedInput&& other) noexcept;
        PreparedInput(const PreparedInput&) = delete;
        PreparedInput& operator=(const PreparedInput&) = delete;
        ~PreparedInput();

        [[nodiscard]] const QUrl& url() const { return m_url; }
        [[nodiscard]] const std::optional<QUrl>& tempFile() const { return m_tempFile; }
        // Removes the temporary file, ignoring failures; the user's input is never removed.
        void cleanup() noexcept;

    private:
        QUrl m_url;
        std::optional<QUrl> m_tempFile;
        ExitCleanup::FileRegistration m_abruptExit;
    };

    // Converts `input` and returns the URL of the written file.
    //
    // The output is `customOutputURL` when given (an empty URL counts as absent), otherwise
    // outputDirectory / <input name>.<format extension>, numbered (-1, -2, ...) past names
    // that exist or are in `reserved` (names handed out to other items of the same run).
    // `outputDirectory` is created when missing. If the chosen name is taken by the time
    // the output is complete, the next free numbered name is used instead; nothing is ever
    // replaced.
    //
    // Throws CancelledError (also when cancellation caused another failure), or Error
    // for every other failure. After a failure neither the output nor any temporary file remains.
    [[nodiscard]] static QUrl convert(const QUrl& input, const QUrl& outputDirectory,
                                      OutputFormat format, int quality, std::optional<int> maxWidth,
                                      std::optional<int> maxHeight,
                                      const std::optional<QUrl>& customOutputURL,
                                      CancellationToken& cancellation,
                                      const QSet<QUrl>& reserved = {});

    // Lower-case input extensions each encoder is given directly.
    [[nodiscard]] static const QSet<QString>& cwebpSupportedExtensions();
    [[nodiscard]] static const QSet<QString>& avifencSupportedExtensions();

    // A fresh name in the user's temporary folder: <uuid>.<ext>. Nothing is created.
    [[nodiscard]] static QUrl makeTempURL(const QString& ext);

    // The size cwebp is asked to scale to, from the file's header alone; nothing when the
    // limits would not shrink it or the header cannot be read.
    [[nodiscard]] static std::optional<PNGQuantizer::TargetSize>
    computeTargetSize(const QUrl& file, std::optional<int> maxWidth, std::optional<int> maxHeight);

    // The image scaled down to fit the limits; nothing when it already fits. Throws Error
    // (unsupportedFormat) when it cannot be resampled.
    [[nodiscard]] static std::optional<Image>
    resizedImage(const Image& image, std::optional<int> maxWidth, std::optional<int> maxHeight);

    // avifenc's quantizer (0 best … 63 worst) for a quality of 0–100.
    [[nodiscard]] static int avifQuantizer(int quality);
    // The HEIC encoder's quality (0–1) for a quality of 0–100.
    [[nodiscard]] static double heicQuality(int quality);
};

} // namespace glintwork
