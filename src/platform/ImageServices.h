#pragma once

#include <cstdint>
#include <exception>
#include <optional>
#include <string>
#include <vector>

#include <QByteArray>
#include <QString>

#include "platform/Error.h"
#include "platform/Image.h"

namespace glintwork {

// The image services' failures, in the words a file's row shows.
namespace ImageErrors {

// imageUnreadable ("The file could not be decoded: <reason>"), unsupportedFormat (the reason
// alone) or writeFailed ("The file could not be written: <reason>"); the reason is libvips'
// or our own.
[[nodiscard]] Error failure(ErrorKind kind, const QString& reason, const QString& file = {});
// imageTooLarge: the header claims more pixels than ImageServices::maxDecodePixels.
[[nodiscard]] Error tooLarge(qint64 width, qint64 height, const QString& file = {});
// writeFailed: the file system refused the write; the reason is the system's text for
// `errorNumber`, which the error carries.
[[nodiscard]] Error writeFailed(int errorNumber, const QString& file = {});

} // namespace ImageErrors

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
    // The numbers are not sRGB: an embedded profile other than sRGB, or CMYK.
    bool needsColorConversion = false;

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

// Decoding, encoding and resampling of whole images over libvips; the byte-level work on
// containers lives in PngContainer, SimpleContainers (JPEG's EXIF segment, TGA) and
// TiffExif. Every call may run on any thread.
namespace ImageServices {

// Images whose header claims more pixels than this are refused before decoding.
inline constexpr qint64 maxDecodePixels = 16384LL * 16384LL;

// Reads the header of image 0 only; nothing for a missing, empty, unreadable or non-image
// file.
[[nodiscard]] std::optional<ImageProperties> readProperties(const QString& path) noexcept;

// Decodes image 0 as stored (the orientation tag is not applied), keeping its depth (8 or
// 16 bits; other sample types become 32-bit float), its alpha (straight, last), grey as
// grey, and its ICC profile. Palette images are expanded. Throws Error (ImageErrors) for
// missing, corrupt or truncated files and for headers beyond maxDecodePixels.
[[nodiscard]] Image decode(const QString& path);

// An upright (orientation applied) 8-bit sRGB RGB or RGBA image whose longer side is at
// most maxPixelSize; never enlarged. Throws Error (ImageErrors).
[[nodiscard]] Image thumbnail(const QString& path, int maxPixelSize);

// Writers encode the whole file first, then write it into the file at `path` (created or
// emptied): an image that cannot be encoded leaves that file as it was. A refused write
// fails with writeFailed and the system's reason; the caller removes the file then. Outputs
// go into a part file that is published under its name afterwards, which is what makes
// them appear whole. The ICC profile comes from the image's colour space.
// PNG and TIFF keep 16-bit depth and alpha. TIFF uses LZW compression.
void writePNG(const Image& image, const QString& path, const WriteMetadata& metadata = {});
void writeTIFF(const Image& image, const QString& path, const WriteMetadata& metadata = {});
// Alpha is flattened onto white; 16-bit data is reduced to 8 bits. quality is 0–1.
void writeJPEG(const Image& image, const QString& path, double quality,
               const WriteMetadata& metadata = {});
// HEVC-coded HEIF, 8 bits per component, as bytes; quality is 0–1.
[[nodiscard]] QByteArray encodeHEIC(const Image& image, double quality);
// Uncompressed Truevision TGA: 24-bit BGR, or 32-bit BGRA when the image has alpha.
void writeTGA(const Image& image, const QString& path);

// Encoders for outputs too large to hold twice: the encoded bytes go straight into the file
// at `path` (created or emptied) as they are made, and a packed 8-bit RGBA image is read in
// place, not copied. No metadata is written. They fail with writeFailed and the system's
// reason (for example "No space left on device") unless every byte was written, flushed to
// the disk and the file closed without error; the caller removes the file then. Meant for
// a hidden file that is published under its name afterwards.
// PNG with the sub filter at zlib level 1: made for large smooth images, it trades a little
// size for speed.
void streamPNG(const Image& image, const QString& path);
// Alpha is flattened onto white; quality is 0–1.
void streamJPEG(const Image& image, const QString& path, double quality);

// Lanczos-3 resample to exactly width × height. Alpha images are filtered premultiplied so
// transparent neighbours do not darken edges. The result is packed with straight alpha
// last in native 16-bit byte order and keeps the colour space.
[[nodiscard]] Image downscale(const Image& image, int width, int height);

// Any image as packed 8-bit RGBA with straight alpha in sRGB: ICC images are colour
// converted, grey is expanded, 16-bit components keep their high byte, opaque images get
// alpha 255.
[[nodiscard]] Image toRGBA8(const Image& image);

// The sRGB profile libvips ships, for tagging images created in sRGB.
[[nodiscard]] QByteArray sRGBProfile();

} // namespace ImageServices
} // namespace glintwork
