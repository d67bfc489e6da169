#pragma once

#include <cstdint>
#include <exception>
#include <optional>
#include <string>
#include <vector>

#include <QByteArray>
#include <QString>

#include "platform/Image.h"

namespace glintwork {

// The failure of an image service, with the text a user sees in a file's row.
class ImageServiceError : public std::exception {
public:
    enum class Kind {
        unreadable,        // the file cannot be opened or decoded
        tooLarge,          // the header claims more pixels than we agree to decode
        unsupportedFormat, // the pixel layout cannot be processed or written as asked
        writeFailed,       // the encoder or the file system refused the output
    };

    ImageServiceError(Kind kind, QString reason);
    static ImageServiceError tooLarge(qint64 width, qint64 height);

    [[nodiscard]] Kind kind() const { return m_kind; }
    [[nodiscard]] const QString& reason() const { return m_reason; }
    [[nodiscard]] QString description() const;
    [[nodiscard]] const char* what() const noexcept override { return m_what.c_str(); }

    friend bool operator==(const ImageServiceError& a, const ImageServiceError& b) {
        return a.m_kind == b.m_kind && a.m_reason == b.m_reason && a.m_width == b.m_width &&
               a.m_height == b.m_height;
    }

private:
    Kind m_kind;
    QString m_reason;
    qint64 m_width = 0;
    qint64 m_height = 0;
    std::string m_what;
};

// What the header of image 0 of a file says, read without decoding pixels.
struct ImageProperties {
    int pixelWidth = 0;
    int pixelHeight = 0;
    std::optional<int> orientation; // EXIF orientation, 1–8
    std::optional<double> dpiWidth;
    std::optional<double> dpiHeight;
    std::optional<QByteArray> exif; // the raw EXIF block as libvips keeps it
    bool hasAlpha = false;
    int bitsPerComponent = 0;
    bool hasICCProfile = false;

    friend bool operator==(const ImageProperties&, const ImageProperties&) = default;
};

// Metadata a writer adds to its file. An absent or empty EXIF block writes none.
struct WriteMetadata {
    std::optional<int> orientation;
    std::optional<double> dpiWidth;
    std::optional<double> dpiHeight;
    std::optional<QByteArray> exif;

    friend bool operator==(const WriteMetadata&, const WriteMetadata&) = default;
};

// Decoding, encoding and resampling over libvips. Every call may run on any thread.
namespace ImageServices {

// Images whose header claims more pixels than this are refused before decoding.
inline constexpr qint64 maxDecodePixels = 16384LL * 16384LL;

// Reads the header of image 0 only; nothing for a missing, empty, unreadable or non-image
// file.
[[nodiscard]] std::optional<ImageProperties> readProperties(const QString& path) noexcept;

} // namespace ImageServices
} // namespace glintwork
