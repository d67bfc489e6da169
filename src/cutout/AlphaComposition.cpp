#include "cutout/AlphaComposition.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

#include <opencv2/core.hpp>

#include <QCoreApplication>

#include "platform/ImageServices.h"

namespace glintwork {

using Kind = AlphaCompositionError::Kind;

AlphaCompositionError AlphaCompositionError::unsupportedPixelFormat(int bitsPerComponent,
                                                                    int bitsPerPixel,
                                                                    AlphaInfo alphaInfo) {
    return {Kind::unsupportedPixelFormat, bitsPerComponent, bitsPerPixel,
            static_cast<int>(alphaInfo)};
}

AlphaCompositionError AlphaCompositionError::invalidImageDimensions(int width, int height) {
    return {Kind::invalidImageDimensions, width, height, 0};
}

AlphaCompositionError AlphaCompositionError::truncatedPixelData(qint64 expected, qint64 actual) {
    return {Kind::truncatedPixelData, expected, actual, 0};
}

AlphaCompositionError AlphaCompositionError::simple(Kind kind) {
    return {kind, 0, 0, 0};
}

QString AlphaCompositionError::description() const {
    const char* context = "AlphaCompositionError";
    switch (m_kind) {
    case Kind::unsupportedPixelFormat:
        return QCoreApplication::translate(
                   context, "Unsupported pixel format (bitsPerComponent=%1, bitsPerPixel=%2, "
                            "alphaInfo=%3).")
            .arg(m_first)
            .arg(m_second)
            .arg(m_third);
    case Kind::invalidImageDimensions:
        return QCoreApplication::translate(context, "Invalid image dimensions (width=%1, height=%2).")
            .arg(m_first)
            .arg(m_second);
    case Kind::truncatedPixelData:
        return QCoreApplication::translate(
                   context, "Source pixel data is truncated (expected %1 bytes, got %2).")
            .arg(m_first)
            .arg(m_second);
    case Kind::unreadablePixelData:
        return QCoreApplication::translate(context, "Source image pixel data could not be read.");
    case Kind::unsupportedFloatPixelFormat:
        return QCoreApplication::translate(
            context, "Floating-point pixel formats are not supported in Glintwork.");
    case Kind::missingColorSpace:
        return QCoreApplication::translate(
            context, "Source image has no color space; refusing to fabricate one.");
    case Kind::maskScalingFailed:
        return QCoreApplication::translate(
            context, "Failed to scale the mask to the source image resolution.");
    case Kind::outputAllocationFailed:
        return QCoreApplication::translate(context, "Failed to allocate the output bitmap.");
    }
    return {};
}

namespace {

// Component index of red, green and blue within a pixel.
struct ChannelLayout {
    int red;
    int green;
    int blue;
};

ChannelLayout channelLayout(AlphaInfo alphaInfo, int bitsPerPixel, int bytesPerComponent) {
    const int components = bitsPerPixel / (bytesPerComponent * 8);
    switch (alphaInfo) {
    case AlphaInfo::none:
        if (components == 3)
            return {0, 1, 2};
        break;
    case AlphaInfo::premultipliedLast:
    case AlphaInfo::last:
    case AlphaInfo::noneSkipLast:
        if (components == 4)
            return {0, 1, 2};
        break;
    case AlphaInfo::premultipliedFirst:
    case AlphaInfo::first:
    case AlphaInfo::noneSkipFirst:
        if (components == 4)
            return {1, 2, 3};
        break;
    case AlphaInfo::only:
        break;
    }
    throw AlphaCompositionError::unsupportedPixelFormat(bytesPerComponent * 8, bitsPerPixel,
                                                        alphaInfo);
}

[[noreturn]] void maskScalingFailed() {
    throw AlphaCompositionError::simple(Kind::maskScalingFailed);
}

std::vector<std::uint8_t> copyMaskBytesVerbatim(const Image& mask, int width, int height) {
    const std::size_t stride = std::size_t(mask.bytesPerRow);
    if (mask.pixels.empty() || mask.bytesPerRow < width ||
        mask.pixels.size() < stride * std::size_t(height))
        maskScalingFailed();
    std::vector<std::uint8_t> bytes(std::size_t(width) * std::size_t(height));
    for (int y = 0; y < height; ++y)
        std::memcpy(bytes.data() + std::size_t(y) * std::size_t(width),
                    mask.pixels.data() + std::size_t(y) * stride, std::size_t(width));
    return bytes;
}

// Any mask as packed 8-bit grey at its own size: one-component and alpha-only masks are
// read as they are (16-bit and float ones scaled to 0–255); colour masks go through
// their luminance.
std::vector<std::uint8_t> greyBytesOf(const Image& mask) {
    if (mask.isEmpty() || mask.pixels.empty())
        maskScalingFailed();
    const std::size_t w = std::size_t(mask.width);
    const std::size_t h = std::size_t(mask.height);
    const int components = mask.componentsPerPixel();
    std::vector<std::uint8_t> grey(w * h);
    if (components == 1) {
        const int bytesPerSample = mask.bitsPerComponent / 8;
        if (bytesPerSample < 1 || std::size_t(mask.bytesPerRow) < w * std::size_t(bytesPerSample) ||
            mask.pixels.size() < std::size_t(mask.bytesPerRow) * (h - 1) + w * std::size_t(bytesPerSample))
            maskScalingFailed();
        for (std::size_t y = 0; y < h; ++y) {
            const std::uint8_t* in = mask.row(int(y));
            std::uint8_t* out = grey.data() + y * w;
            for (std::size_t x = 0; x < w; ++x) {
                if (mask.isFloat && mask.bitsPerComponent == 32) {
                    float v;
                    std::memcpy(&v, in + 4 * x, 4);
                    out[x] = std::isnan(v) ? 0
                                           : std::uint8_t(std::lround(std::clamp(v, 0.0f, 1.0f) * 255.0f));
                } else if (mask.bitsPerComponent == 16) {
                    const std::uint8_t* s = in + 2 * x;
                    const unsigned v = mask.byteOrder16 == ByteOrder16::little
                                           ? unsigned(s[0]) | (unsigned(s[1]) << 8)
                                           : (unsigned(s[0]) << 8) | unsigned(s[1]);
                    out[x] = std::uint8_t((v * 255u + 32767u) / 65535u);
                } else if (mask.bitsPerComponent == 8) {
                    out[x] = in[x];
                } else {
                    maskScalingFailed();
                }
            }
        }
        return grey;
    }
    Image rgba;
    try {
        rgba = ImageServices::toRGBA8(mask);
    } catch (...) {
        maskScalingFailed();
    }
    for (std::size_t y = 0; y < h; ++y) {
        const std::uint8_t* in = rgba.row(int(y));
        for (std::size_t x = 0; x < w; ++x, in += 4)
            grey[y * w + x] =
                std::uint8_t(std::lround(0.2126 * in[0] + 0.7152 * in[1] + 0.0722 * in[2]));
    }
    return grey;
}

std::vector<std::uint8_t> renderMaskBytesViaLanczos(const Image& mask, int width, int height) {
    if (width < 1 || height < 1)
        maskScalingFailed();
    const std::vector<std::uint8_t> grey = greyBytesOf(mask);
    try {
        return ImageServices::resampleMaskLanczos(grey.data(), mask.width, mask.height, width,
                                                  height);
    } catch (...) {
        maskScalingFailed();
    }
}

template <int C>
void copyRows(const Image& source, const ChannelLayout& layout, const std::uint8_t* maskBytes,
              std::uint8_t* output, int rowBegin, int rowEnd) {
    const std::size_t w = std::size_t(source.width);
    const std::size_t p = std::size_t(source.bytesPerPixel());
    const std::size_t outRow = w * 4 * C;
    const std::size_t r = std::size_t(layout.red) * C;
    const std::size_t g = std::size_t(layout.green) * C;
    const std::size_t b = std::size_t(layout.blue) * C;
    for (int y = rowBegin; y < rowEnd; ++y) {
        const std::uint8_t* s = source.row(y);
        std::uint8_t* d = output + std::size_t(y) * outRow;
        const std::uint8_t* m = maskBytes + std::size_t(y) * w;
        for (std::size_t x = 0; x < w; ++x, s += p, d += 4 * C) {
            for (int k = 0; k < C; ++k) {
                d[k] = s[r + k];
                d[C + k] = s[g + k];
                d[2 * C + k] = s[b + k];
                d[3 * C + k] = m[x];
            }
        }
    }
}

} // namespace

std::vector<std::uint8_t> maskBytes(const Image& mask, int width, int height) {
    if (mask.width == width && mask.height == height && mask.bitsPerComponent == 8 &&
        mask.bitsPerPixel == 8 && !mask.isFloat)
        return copyMaskBytesVerbatim(mask, width, height);
    return renderMaskBytesViaLanczos(mask, width, height);
}

namespace {

ChannelLayout checkedLayout(const Image& source) {
    const int w = source.width;
    const int h = source.height;
    if (w < 1 || h < 1)
        throw AlphaCompositionError::invalidImageDimensions(w, h);
    if (source.isFloat)
        throw AlphaCompositionError::simple(Kind::unsupportedFloatPixelFormat);
    if (source.bitsPerComponent != 8 && source.bitsPerComponent != 16)
        throw AlphaCompositionError::unsupportedPixelFormat(source.bitsPerComponent,
                                                            source.bitsPerPixel, source.alphaInfo);
    if (source.colorSpace.kind == ColorSpace::Kind::none)
        throw AlphaCompositionError::simple(Kind::missingColorSpace);
    const int c = source.bitsPerComponent / 8;
    const int p = source.bitsPerPixel / 8;
    if (p < 3 * c || source.bytesPerRow < qint64(w) * p)
        throw AlphaCompositionError::unsupportedPixelFormat(source.bitsPerComponent,
                                                            source.bitsPerPixel, source.alphaInfo);
    const ChannelLayout layout = channelLayout(source.alphaInfo, source.bitsPerPixel, c);
    if (source.pixels.empty())
        throw AlphaCompositionError::simple(Kind::unreadablePixelData);
    const qint64 expected = qint64(source.bytesPerRow) * h;
    if (qint64(source.pixels.size()) < expected)
        throw AlphaCompositionError::truncatedPixelData(expected, qint64(source.pixels.size()));
    return layout;
}

} // namespace

void checkLosslessSource(const Image& source) {
    (void)checkedLayout(source);
}

Image withMaskAsAlpha(const Image& source, const Image& mask) {
    const ChannelLayout layout = checkedLayout(source);
    const int w = source.width;
    const int h = source.height;
    const int c = source.bitsPerComponent / 8;

    const std::vector<std::uint8_t> alpha = maskBytes(mask, w, h);

    Image output;
    try {
        output.pixels.resize(std::size_t(w) * 4 * std::size_t(c) * std::size_t(h));
    } catch (const std::bad_alloc&) {
        throw AlphaCompositionError::simple(Kind::outputAllocationFailed);
    }
    // Rows are independent: each writes its own part of the output.
    cv::parallel_for_(cv::Range(0, h), [&](const cv::Range& rows) {
        if (c == 1)
            copyRows<1>(source, layout, alpha.data(), output.pixels.data(), rows.start, rows.end);
        else
            copyRows<2>(source, layout, alpha.data(), output.pixels.data(), rows.start, rows.end);
    });
    output.width = w;
    output.height = h;
    output.bitsPerComponent = source.bitsPerComponent;
    output.bitsPerPixel = 4 * source.bitsPerComponent;
    output.bytesPerRow = w * 4 * c;
    output.alphaInfo = AlphaInfo::last;
    output.byteOrder16 = c == 2 && source.byteOrder16 == ByteOrder16::little ? ByteOrder16::little
                                                                               : ByteOrder16::big;
    output.isFloat = false;
    output.colorSpace = source.colorSpace;
    return output;
}

Image maskAsLinearGray(const Image& mask, int width, int height) {
    Image grey;
    grey.pixels = maskBytes(mask, width, height);
    grey.width = width;
    grey.height = height;
    grey.bitsPerComponent = 8;
    grey.bitsPerPixel = 8;
    grey.bytesPerRow = width;
    grey.alphaInfo = AlphaInfo::none;
    grey.colorSpace = ColorSpace::linearGray();
    return grey;
}

} // namespace glintwork
