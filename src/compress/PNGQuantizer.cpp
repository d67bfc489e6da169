#include "compress/PNGQuantizer.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <new>

#if defined(__linux__)
#include <sys/mman.h>
#endif

#include <QCoreApplication>

#include "platform/CancellationToken.h"
#include "platform/Error.h"
#include "platform/ImageServices.h"
#include "platform/IndexedPNGWriter.h"
#include "platform/Orientation.h"
#include "platform/ThreadBudget.h"
#include "quantizer/quantette.h"

namespace glintwork {

namespace PNGQuantizer {

namespace {

Error decodingFailed(const QString& path, const QString& reason) {
    return Error(ErrorKind::imageUnreadable,
                 QCoreApplication::translate("PNGQuantizer", "Image decoding failed"),
                 {.file = path, .reason = reason});
}

Error pixelBufferFailed(const QString& reason = {}) {
    return Error(ErrorKind::pixelPreparationFailed,
                 QCoreApplication::translate("PNGQuantizer", "Pixel buffer creation failed"),
                 {.reason = reason});
}

Error quantizationFailed() {
    return Error(ErrorKind::quantizationFailed,
                 QCoreApplication::translate("PNGQuantizer", "Color quantization failed"));
}

Error pngWriteFailed(const QString& path, const QString& reason) {
    return Error(ErrorKind::writeFailed,
                 QCoreApplication::translate("PNGQuantizer", "PNG write failed"),
                 {.file = path, .reason = reason});
}

// The RGBA buffer the quantizer works on. A 12-megapixel image needs 48 MB of fresh memory,
// and touching it page by page costs more than filling it; on Linux it is asked for in huge
// pages, which the kernel hands out 2 MB at a time. Its bytes start undefined: the first pass
// writes every one of them.
class PixelBuffer {
public:
    explicit PixelBuffer(std::size_t bytes) {
        constexpr std::size_t kHugePage = std::size_t{2} << 20;
        const std::size_t rounded = (bytes + kHugePage - 1) / kHugePage * kHugePage;
        m_bytes.reset(static_cast<std::uint8_t*>(std::aligned_alloc(kHugePage, rounded)));
        if (!m_bytes)
            throw std::bad_alloc();
#if defined(__linux__) && defined(MADV_HUGEPAGE)
        (void)madvise(m_bytes.get(), rounded, MADV_HUGEPAGE); // only advice; fine if refused
#endif
    }

    [[nodiscard]] std::uint8_t* data() const { return m_bytes.get(); }

private:
    struct Free {
        void operator()(std::uint8_t* bytes) const { std::free(bytes); }
    };
    std::unique_ptr<std::uint8_t, Free> m_bytes;
};

// 8-bit RGB with or without a straight alpha band, untagged or sRGB: what decoding a PNG or a
// JPEG gives nearly always. Such images are packed and composited in one pass; anything else
// goes through the platform's general conversion first.
bool isPackedRgb8(const Image& image) {
    const auto kind = image.colorSpace.kind;
    const int components = image.componentsPerPixel();
    const bool layout = (components == 3 && image.alphaInfo == AlphaInfo::none) ||
                        (components == 4 && image.alphaInfo == AlphaInfo::last);
    return !image.isFloat && image.bitsPerComponent == 8 && !image.isEmpty() && layout &&
           (kind == ColorSpace::Kind::sRGB || kind == ColorSpace::Kind::deviceRGB) &&
           image.bytesPerRow >= image.width * components &&
           image.pixels.size() >= static_cast<std::size_t>(image.bytesPerRow) *
                                      static_cast<std::size_t>(image.height - 1) +
                                  static_cast<std::size_t>(image.width) * components;
}

// Composites one straight-alpha colour byte over opaque white, rounding to nearest.
inline std::uint8_t overWhite(unsigned color, unsigned alpha) {
    return static_cast<std::uint8_t>((color * alpha + 255u * (255u - alpha) + 127u) / 255u);
}

// Fills out (4 bytes a pixel, rows packed) with the image composited over opaque white.
void packOverWhite(const Image& image, std::uint8_t* out) {
    const int components = image.componentsPerPixel();
    const bool hasAlpha = image.alphaInfo == AlphaInfo::last;
    const auto width = static_cast<std::size_t>(image.width);
    for (int y = 0; y < image.height; ++y) {
        const std::uint8_t* src = image.row(y);
        std::uint8_t* dst = out + 4 * width * static_cast<std::size_t>(y);
        if (components == 3) {
            for (std::size_t x = 0; x < width; ++x) {
                dst[4 * x] = src[3 * x];
                dst[4 * x + 1] = src[3 * x + 1];
                dst[4 * x + 2] = src[3 * x + 2];
                dst[4 * x + 3] = 255;
            }
        } else if (!hasAlpha) {
            for (std::size_t x = 0; x < width; ++x) {
                std::memcpy(dst + 4 * x, src + 4 * x, 3);
                dst[4 * x + 3] = 255;
            }
        } else {
            for (std::size_t x = 0; x < width; ++x) {
                const unsigned a = src[4 * x + 3];
                for (int c = 0; c < 3; ++c)
                    dst[4 * x + c] = a == 255 ? src[4 * x + c] : overWhite(src[4 * x + c], a);
                dst[4 * x + 3] = 255;
            }
        }
    }
}

} // namespace

int maximumColorCount(int quality) {
    if (quality < 51)
        return 64;
    if (quality <= 75)
        return 128;
    return 256;
}

TargetSize targetSize(int width, int height, std::optional<int> maxWidth,
                      std::optional<int> maxHeight) {
    const double w = width;
    const double h = height;
    const double sw = (maxWidth && *maxWidth > 0 && *maxWidth < width) ? *maxWidth / w : 1.0;
    double s = 0;
    if (maxHeight && *maxHeight > 0 && *maxHeight < height)
        s = std::min(sw, *maxHeight / h);
    else
        s = std::min(sw, 1.0);
    // std::round rounds halves away from zero.
    const auto scaled = [s](double side) {
        return std::max(1, static_cast<int>(std::round(s * side)));
    };
    return {scaled(w), scaled(h)};
}

void quantize(const QString& input, const QString& output, int quality, std::optional<int> maxWidth,
              std::optional<int> maxHeight, const CancellationToken* cancellation) {
    if (cancellation)
        cancellation->check();
    Image decoded;
    int orientation = 1;
    try {
        decoded = ImageServices::decode(input);
        if (const auto properties = ImageServices::readProperties(input))
            orientation = properties->orientation.value_or(1);
    } catch (const Error& error) {
        if (error.kind() == ErrorKind::imageTooLarge)
            throw; // its own text says what is wrong, unlike a generic decoding failure
        throw decodingFailed(input, error.reasonOrText());
    }

    std::optional<PixelBuffer> buffer;
    int width = 0;
    int height = 0;
    try {
        // The PNG carries no orientation tag, so a photo taken sideways is stored upright.
        Image upright = std::move(decoded);
        if (orientation != 1)
            upright = applyOrientation(upright, orientation);
        const TargetSize size = targetSize(upright.width, upright.height, maxWidth, maxHeight);
        if (size.width != upright.width || size.height != upright.height)
            upright = ImageServices::downscale(upright, size.width, size.height);
        if (!isPackedRgb8(upright))
            upright = ImageServices::toRGBA8(upright);
        if (!isPackedRgb8(upright))
            throw pixelBufferFailed();
        width = upright.width;
        height = upright.height;
        buffer.emplace(4 * static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
        // Composite over opaque white so every pixel the quantizer sees is final.
        packOverWhite(upright, buffer->data());
    } catch (const Error& error) {
        if (error.kind() == ErrorKind::pixelPreparationFailed)
            throw;
        throw pixelBufferFailed(error.reasonOrText());
    } catch (const std::bad_alloc&) {
        throw pixelBufferFailed();
    }

    if (cancellation)
        cancellation->check();
    const auto colors = static_cast<std::uint32_t>(maximumColorCount(quality));
    const auto cancelled = [](void* token) -> std::int32_t {
        return static_cast<const CancellationToken*>(token)->isCancelled() ? 1 : 0;
    };
    const std::int32_t result = quantette_quantize_rgba_threads(
        buffer->data(), static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height),
        colors, static_cast<std::uint32_t>(ThreadBudget::threadsForStage()),
        cancellation ? +cancelled : nullptr, const_cast<CancellationToken*>(cancellation));
    if (result == 1)
        throw CancelledError();
    if (result != 0)
        throw quantizationFailed();
    if (cancellation)
        cancellation->check();

    bool written = false;
    try {
        written = writeIndexedPNG(buffer->data(), width, height, output);
    } catch (const Error& error) {
        throw pngWriteFailed(output, error.reasonOrText());
    }
    if (!written)
        throw quantizationFailed();
}

} // namespace PNGQuantizer
} // namespace glintwork
