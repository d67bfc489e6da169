#include "cutout/AlphaComposition.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

#include <opencv2/core.hpp>

#include <QCoreApplication>


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

} // namespace glintwork
