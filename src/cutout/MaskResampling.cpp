#include "cutout/MaskResampling.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "cutout/CutoutErrors.h"
#include "platform/ImageServices.h"

namespace glintwork {

namespace {

[[noreturn]] void maskScalingFailed() {
    throw CutoutErrors::maskScalingFailed();
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
    return resampleMaskLanczos(grey.data(), mask.width, mask.height, width, height);
}

double lanczos3(double x) {
    x = std::abs(x);
    if (x < 1e-12)
        return 1.0;
    if (x >= 3.0)
        return 0.0;
    const double px = M_PI * x;
    return 3.0 * std::sin(px) * std::sin(px / 3.0) / (px * px);
}

struct Taps {
    int first = 0;
    std::vector<double> weights;
};

// One output sample per entry: which source samples feed it and with what weight. The
// kernel widens when shrinking so every source sample contributes (no aliasing).
std::vector<Taps> lanczosTaps(int sourceSize, int targetSize) {
    const double scale = double(targetSize) / double(sourceSize);
    const double stretch = std::min(1.0, scale);
    const double support = 3.0 / stretch;
    std::vector<Taps> taps(static_cast<std::size_t>(targetSize));
    for (int i = 0; i < targetSize; ++i) {
        const double center = (i + 0.5) / scale - 0.5;
        const int first = static_cast<int>(std::floor(center - support)) + 1;
        const int last = static_cast<int>(std::ceil(center + support)) - 1;
        Taps& tap = taps[std::size_t(i)];
        tap.first = first;
        double sum = 0;
        for (int j = first; j <= last; ++j) {
            const double w = lanczos3((j - center) * stretch);
            tap.weights.push_back(w);
            sum += w;
        }
        if (sum != 0)
            for (double& w : tap.weights)
                w /= sum;
    }
    return taps;
}

} // namespace

std::vector<std::uint8_t> resampleMaskLanczos(const std::uint8_t* mask, int width, int height,
                                              int targetWidth, int targetHeight) {
    if (!mask || width < 1 || height < 1 || targetWidth < 1 || targetHeight < 1)
        maskScalingFailed();
    const std::vector<Taps> across = lanczosTaps(width, targetWidth);
    const std::vector<Taps> down = lanczosTaps(height, targetHeight);
    auto clampIndex = [](int i, int size) { return std::clamp(i, 0, size - 1); };

    std::vector<double> rows(std::size_t(height) * std::size_t(targetWidth));
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* in = mask + std::size_t(y) * std::size_t(width);
        double* out = rows.data() + std::size_t(y) * std::size_t(targetWidth);
        for (int x = 0; x < targetWidth; ++x) {
            const Taps& tap = across[std::size_t(x)];
            double sum = 0;
            for (std::size_t k = 0; k < tap.weights.size(); ++k)
                sum += tap.weights[k] * in[clampIndex(tap.first + int(k), width)];
            out[x] = sum;
        }
    }
    std::vector<std::uint8_t> result(std::size_t(targetWidth) * std::size_t(targetHeight));
    for (int y = 0; y < targetHeight; ++y) {
        const Taps& tap = down[std::size_t(y)];
        std::uint8_t* out = result.data() + std::size_t(y) * std::size_t(targetWidth);
        for (int x = 0; x < targetWidth; ++x) {
            double sum = 0;
            for (std::size_t k = 0; k < tap.weights.size(); ++k)
                sum += tap.weights[k] *
                       rows[std::size_t(clampIndex(tap.first + int(k), height)) *
                                std::size_t(targetWidth) +
                            std::size_t(x)];
            out[x] = static_cast<std::uint8_t>(std::clamp(std::lround(sum), 0L, 255L));
        }
    }
    return result;
}

std::vector<std::uint8_t> maskBytes(const Image& mask, int width, int height) {
    if (mask.width == width && mask.height == height && mask.bitsPerComponent == 8 &&
        mask.bitsPerPixel == 8 && !mask.isFloat)
        return copyMaskBytesVerbatim(mask, width, height);
    return renderMaskBytesViaLanczos(mask, width, height);
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
