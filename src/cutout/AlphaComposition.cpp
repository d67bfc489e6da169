#include "cutout/AlphaComposition.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstring>
#include <new>

#include <opencv2/core.hpp>

#include <QCoreApplication>

#include "cutout/CutoutErrors.h"

namespace glintwork {

namespace {

// The lossless cut-out's refusals.
Error unsupportedPixelFormat(int bitsPerComponent, int bitsPerPixel, AlphaInfo alphaInfo) {
    return Error(
        ErrorKind::unsupportedFormat,
        QCoreApplication::translate("AlphaComposition",
                                    "The image's pixel format (%1 bits per component, %2 bits per "
                                    "pixel, alpha layout %3) cannot be cut out losslessly.")
            .arg(bitsPerComponent)
            .arg(bitsPerPixel)
            .arg(static_cast<int>(alphaInfo)));
}

Error invalidImageDimensions(int width, int height) {
    return Error(ErrorKind::invalidDimensions,
                 QCoreApplication::translate("AlphaComposition",
                                             "Invalid image dimensions (width=%1, height=%2).")
                     .arg(width)
                     .arg(height));
}

Error truncatedPixelData(qint64 expected, qint64 actual) {
    return Error(
        ErrorKind::truncatedPixelData,
        QCoreApplication::translate("AlphaComposition",
                                    "Source pixel data is truncated (expected %1 bytes, got %2).")
            .arg(expected)
            .arg(actual));
}

Error unreadablePixelData() {
    return Error(ErrorKind::imageUnreadable,
                 QCoreApplication::translate("AlphaComposition",
                                             "Source image pixel data could not be read."));
}

Error floatPixelFormat() {
    return Error(
        ErrorKind::unsupportedFormat,
        QCoreApplication::translate(
            "AlphaComposition", "Floating-point pixel formats are not supported in Glintwork."));
}

Error sourceWithoutColorSpace() {
    return Error(
        ErrorKind::missingColorSpace,
        QCoreApplication::translate("AlphaComposition",
                                    "Source image has no color space; refusing to fabricate one."));
}

Error outputAllocationFailed() {
    return Error(
        ErrorKind::outputNotCreated,
        QCoreApplication::translate("AlphaComposition", "Failed to allocate the output bitmap."));
}

// Where a pixel's components sit: colour components (three for RGB, one for grey) and the
// alpha component, if the source has one that carries transparency (padding is dropped).
struct ChannelLayout {
    int colours;
    std::array<int, 3> colour;
    int alpha; // -1: none
    bool premultiplied;
};

ChannelLayout channelLayout(const Image& source, int bytesPerComponent, int colours) {
    const AlphaInfo alphaInfo = source.alphaInfo;
    const int components = source.bitsPerPixel / (bytesPerComponent * 8);
    switch (alphaInfo) {
    case AlphaInfo::none:
        if (components == colours)
            return {colours, {0, 1, 2}, -1, false};
        break;
    case AlphaInfo::premultipliedLast:
    case AlphaInfo::last:
        if (components == colours + 1)
            return {colours, {0, 1, 2}, colours, alphaInfo == AlphaInfo::premultipliedLast};
        break;
    }
    throw unsupportedPixelFormat(bytesPerComponent * 8, source.bitsPerPixel, alphaInfo);
}

unsigned readSample(const std::uint8_t* s, int c, bool little) {
    if (c == 1)
        return s[0];
    return little ? unsigned(s[0]) | (unsigned(s[1]) << 8) : (unsigned(s[0]) << 8) | unsigned(s[1]);
}

void writeSample(std::uint8_t* d, int c, bool little, unsigned v) {
    if (c == 1) {
        d[0] = std::uint8_t(v);
    } else if (little) {
        d[0] = std::uint8_t(v & 0xFF);
        d[1] = std::uint8_t(v >> 8);
    } else {
        d[0] = std::uint8_t(v >> 8);
        d[1] = std::uint8_t(v & 0xFF);
    }
}

// Colour components are copied byte for byte; only a premultiplied source's colours are
// divided by its alpha, since the output's alpha is straight. The output's alpha is the
// smaller of the source's own and the mask's: what the source hid stays hidden.
template <int C>
std::size_t copyRows(const Image& source, const ChannelLayout& layout,
                     const std::uint8_t* maskBytes, std::uint8_t* output, int rowBegin,
                     int rowEnd) {
    constexpr unsigned maxValue = C == 1 ? 255u : 65535u;
    const bool little = C == 2 && source.byteOrder16 == ByteOrder16::little;
    const std::size_t w = std::size_t(source.width);
    const std::size_t p = std::size_t(source.bytesPerPixel());
    const std::size_t out = std::size_t(layout.colours + 1) * C;
    std::size_t visible = 0;
    for (int y = rowBegin; y < rowEnd; ++y) {
        const std::uint8_t* s = source.row(y);
        std::uint8_t* d = output + std::size_t(y) * w * out;
        const std::uint8_t* m = maskBytes + std::size_t(y) * w;
        for (std::size_t x = 0; x < w; ++x, s += p, d += out) {
            unsigned alpha = unsigned(m[x]) * (C == 1 ? 1u : 257u);
            unsigned own = maxValue;
            if (layout.alpha >= 0) {
                own = readSample(s + layout.alpha * C, C, little);
                alpha = std::min(alpha, own);
            }
            for (int k = 0; k < layout.colours; ++k) {
                const std::uint8_t* from = s + layout.colour[std::size_t(k)] * C;
                if (layout.premultiplied && own < maxValue) {
                    const unsigned v = readSample(from, C, little);
                    const unsigned straight =
                        own == 0
                            ? 0u
                            : std::min(maxValue,
                                       unsigned((std::uint64_t(v) * maxValue + own / 2) / own));
                    writeSample(d + k * C, C, little, straight);
                } else {
                    for (int b = 0; b < C; ++b)
                        d[k * C + b] = from[b];
                }
            }
            writeSample(d + layout.colours * C, C, little, alpha);
            visible += alpha * 2 > maxValue ? 1 : 0;
        }
    }
    return visible;
}

} // namespace

namespace {

ChannelLayout checkedLayout(const Image& source) {
    const int w = source.width;
    const int h = source.height;
    if (w < 1 || h < 1)
        throw invalidImageDimensions(w, h);
    if (source.isFloat)
        throw floatPixelFormat();
    if (source.bitsPerComponent != 8 && source.bitsPerComponent != 16)
        throw unsupportedPixelFormat(source.bitsPerComponent, source.bitsPerPixel,
                                     source.alphaInfo);
    if (source.colorSpace.kind == ColorSpace::Kind::none)
        throw sourceWithoutColorSpace();
    const int c = source.bitsPerComponent / 8;
    const int p = source.bitsPerPixel / 8;
    // Grey stays grey; RGB stays RGB; anything else (CMYK, a count that fits no space) is
    // refused.
    const int colours = source.colorSpace.componentCount == 1 ? 1 : 3;
    if (source.colorSpace.componentCount != colours || p < colours * c ||
        source.bytesPerRow < qint64(w) * p)
        throw unsupportedPixelFormat(source.bitsPerComponent, source.bitsPerPixel,
                                     source.alphaInfo);
    const ChannelLayout layout = channelLayout(source, c, colours);
    if (source.pixels.empty())
        throw unreadablePixelData();
    const qint64 expected = qint64(source.bytesPerRow) * h;
    if (qint64(source.pixels.size()) < expected)
        throw truncatedPixelData(expected, qint64(source.pixels.size()));
    return layout;
}

} // namespace

void checkLosslessSource(const Image& source) {
    (void)checkedLayout(source);
}

void requireVisibleSubject(std::size_t visiblePixels, std::size_t pixels) {
    if (double(visiblePixels) < kMinimumVisibleShare * double(pixels) || visiblePixels == 0)
        throw CutoutErrors::noSubjectFound();
}

Image withMaskAsAlpha(const Image& source, const Image& mask) {
    const ChannelLayout layout = checkedLayout(source);
    const int w = source.width;
    const int h = source.height;
    const int c = source.bitsPerComponent / 8;
    const int components = layout.colours + 1;

    const std::vector<std::uint8_t> alpha = maskBytes(mask, w, h);

    Image output;
    try {
        output.pixels.resize(std::size_t(w) * std::size_t(components) * std::size_t(c) *
                             std::size_t(h));
    } catch (const std::bad_alloc&) {
        throw outputAllocationFailed();
    }
    // Rows are independent: each writes its own part of the output.
    std::atomic<std::size_t> visible{0};
    cv::parallel_for_(cv::Range(0, h), [&](const cv::Range& rows) {
        visible += c == 1 ? copyRows<1>(source, layout, alpha.data(), output.pixels.data(),
                                        rows.start, rows.end)
                          : copyRows<2>(source, layout, alpha.data(), output.pixels.data(),
                                        rows.start, rows.end);
    });
    requireVisibleSubject(visible, std::size_t(w) * std::size_t(h));
    output.width = w;
    output.height = h;
    output.bitsPerComponent = source.bitsPerComponent;
    output.bitsPerPixel = components * source.bitsPerComponent;
    output.bytesPerRow = w * components * c;
    output.alphaInfo = AlphaInfo::last;
    output.byteOrder16 = c == 2 && source.byteOrder16 == ByteOrder16::little ? ByteOrder16::little
                                                                             : ByteOrder16::big;
    output.isFloat = false;
    output.colorSpace = source.colorSpace;
    return output;
}

} // namespace glintwork
