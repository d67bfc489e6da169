#pragma once

#include <functional>
#include <optional>
#include <type_traits>
#include <utility>

#include <QByteArray>
#include <QString>

#include "platform/Image.h"
#include "platform/ImageServices.h"

namespace vips {
class VError;
class VImage;
} // namespace vips

// What the image services share about libvips: starting it, turning its failures into
// ours, and moving pixels between our Image and its images. Only the platform's own
// sources include this, and they include libvips themselves.
namespace glintwork::VipsBridge {

using Kind = ErrorKind;

// Starts libvips once per process. Throws Error when it cannot start.
void ensureVipsStarted();

// The failure of the innermost guarded call on this thread as ours, with libvips' reason.
[[nodiscard]] Error fromVips(const vips::VError& error, Kind kind, const QString& file = {});

// Whether the reason of the last failure on this thread was surely its own: libvips shares
// one error buffer between threads, and another file's probe may empty it meanwhile.
[[nodiscard]] bool lastReasonCertain();
void resetLastReasonCertain();

// Runs libvips work, turning its failure into ours; `file` is the file it reads, if any.
void runGuarded(const QString& file, Kind kind, const std::function<void()>& work);

template <typename Work> auto guardedFor(const QString& file, Kind kind, Work&& work) {
    using Result = std::invoke_result_t<Work&>;
    if constexpr (std::is_void_v<Result>) {
        runGuarded(file, kind, work);
    } else {
        std::optional<Result> result;
        runGuarded(file, kind, [&] { result.emplace(work()); });
        return std::move(*result);
    }
}

template <typename Work> auto guarded(Kind kind, Work&& work) {
    return guardedFor(QString(), kind, std::forward<Work>(work));
}

// Reading `file`: a failure is the file's being unreadable.
template <typename Work> auto reading(const QString& file, Work&& work) {
    return guardedFor(file, Kind::imageUnreadable, std::forward<Work>(work));
}

// Bits per component of the image's sample format.
[[nodiscard]] int bitsOf(const vips::VImage& image);
[[nodiscard]] std::optional<QByteArray> blobField(const vips::VImage& image, const char* field);

[[nodiscard]] bool isCMYK(const vips::VImage& image);
[[nodiscard]] bool alphaBandOf(const vips::VImage& image);
[[nodiscard]] double maxAlphaOf(const vips::VImage& image);

// Brings any decoded image into the layouts Image can describe: 8/16-bit integers or
// 32-bit float, grey / RGB / CMYK with an optional alpha band.
[[nodiscard]] vips::VImage normalisedForImage(vips::VImage image);
// The pixels copied out, packed with straight alpha last in native byte order; the colour
// space is the given one, else the embedded profile's, else sRGB or device grey.
[[nodiscard]] Image imageFromVips(const vips::VImage& source,
                                  std::optional<ColorSpace> colorSpace = std::nullopt);
// The other direction: our image, whatever its layout, as a packed libvips image with
// straight alpha last, native byte order and its ICC profile attached.
[[nodiscard]] vips::VImage vipsFromImage(const Image& image);
// Integer images reduced to 8 bits by keeping the high byte; float ones scaled from 0–1.
[[nodiscard]] vips::VImage as8Bit(vips::VImage image);

} // namespace glintwork::VipsBridge
