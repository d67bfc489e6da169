#include "support/TestImages.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <tuple>

#include "platform/ImageServices.h"

namespace glintwork::test {

double component(const Image& image, int x, int y, int index) {
    const std::uint8_t* p = image.row(y) + x * image.bytesPerPixel() + index * image.bytesPerComponent();
    if (image.bitsPerComponent == 8)
        return p[0];
    if (image.bitsPerComponent == 16)
        return image.byteOrder16 == ByteOrder16::big ? (p[0] << 8) | p[1] : (p[1] << 8) | p[0];
    float value;
    std::memcpy(&value, p, sizeof value);
    return value;
}

void fill(Image& image, const std::function<int(int, int, int)>& value) {
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x)
            for (int i = 0; i < image.componentsPerPixel(); ++i) {
                const int v = value(x, y, i);
                std::uint8_t* p = image.row(y) + x * image.bytesPerPixel() + i * image.bytesPerComponent();
                const bool big = image.bitsPerComponent == 16 && image.byteOrder16 == ByteOrder16::big;
                p[0] = static_cast<std::uint8_t>(big ? v >> 8 : v);
                if (image.bitsPerComponent == 16)
                    p[1] = static_cast<std::uint8_t>(big ? v : v >> 8);
            }
}

double psnr(const Image& a, const Image& b) {
    if (a.width != b.width || a.height != b.height)
        return 0;
    const Image x = ImageServices::toRGBA8(a), y = ImageServices::toRGBA8(b);
    double sum = 0;
    for (int row = 0; row < x.height; ++row)
        for (int i = 0; i < x.width * 4; ++i)
            sum += i % 4 == 3 ? 0 : std::pow(double(x.row(row)[i]) - double(y.row(row)[i]), 2);
    const double mse = sum / (double(x.width) * x.height * 3);
    return mse == 0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / mse);
}

void expectSamePixels(const Image& expected, const Image& actual) {
    const auto layout = [](const Image& i) {
        return std::tuple(i.width, i.height, i.bitsPerComponent, i.componentsPerPixel(), i.hasAlpha());
    };
    ASSERT_EQ(layout(actual), layout(expected)) << "width, height, bits, components, alpha";
    int mismatches = 0;
    for (int y = 0; y < expected.height; ++y)
        for (int x = 0; x < expected.width; ++x)
            for (int i = 0; i < expected.componentsPerPixel(); ++i)
                if (component(expected, x, y, i) != component(actual, x, y, i) && ++mismatches < 5)
                    ADD_FAILURE() << "pixel (" << x << ", " << y << ") component " << i << ": "
                                  << component(expected, x, y, i) << " became "
                                  << component(actual, x, y, i);
    EXPECT_EQ(mismatches, 0);
}

Image gradient(int width, int height, bool alpha) {
    Image image = Image::make(width, height, 8, alpha ? AlphaInfo::last : AlphaInfo::none,
                              ColorSpace::sRGB(), 3);
    fill(image, [&](int x, int y, int i) {
        const int values[4] = {40 + 170 * x / std::max(1, width - 1), 40 + 170 * y / std::max(1, height - 1),
                               (x * 4 / width + y * 4 / height) % 2 == 0 ? 200 : 60, 255};
        return values[i];
    });
    return image;
}

Image quadrants(int width, int height) {
    static constexpr int colours[4][3] = {{220, 30, 30}, {30, 200, 40}, {30, 40, 220}, {240, 240, 240}};
    Image image = Image::make(width, height, 8, AlphaInfo::none, ColorSpace::sRGB(), 3);
    fill(image, [&](int x, int y, int i) {
        return colours[(x < width / 2 ? 0 : 1) + (y < height / 2 ? 0 : 2)][i];
    });
    return image;
}

Image noiseImage(int width, int height, int bitsPerComponent, AlphaInfo alphaInfo,
                 int colorComponents, int padding, std::uint32_t seed) {
    Image image = Image::make(width, height, bitsPerComponent, alphaInfo, ColorSpace::sRGB(), colorComponents);
    image.bytesPerRow += padding;
    image.pixels.assign(std::size_t(image.bytesPerRow) * std::size_t(height), 0);
    std::uint32_t state = seed * 2654435761u + 1;
    for (auto& byte : image.pixels) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        byte = static_cast<std::uint8_t>(state >> 24);
    }
    return image;
}

Image greyMask(int width, int height, const std::function<int(int, int)>& value) {
    Image mask = Image::make(width, height, 8, AlphaInfo::none, ColorSpace::linearGray(), 1);
    fill(mask, [&](int x, int y, int) { return value(x, y); });
    return mask;
}

Image makePatternImage(int width, int height) {
    Image image = Image::make(width, height, 8, AlphaInfo::last, ColorSpace::sRGB(), 3);
    fill(image, [](int x, int y, int i) {
        const int values[4] = {x * 7 + y, y * 13 + (x >> 8) * 31, (x ^ y) * 3 + (y >> 8) * 17, 255};
        return values[i];
    });
    return image;
}

Image solidImage(int width, int height, Pixel colour) {
    Image image = Image::make(width, height, 8, AlphaInfo::last, ColorSpace::sRGB(), 3);
    fill(image, [&](int, int, int i) { return colour[std::size_t(i)]; });
    return image;
}

Image nearestUpscale(const Image& image, int factor) {
    Image result = Image::make(image.width * factor, image.height * factor, 8, image.alphaInfo, image.colorSpace, 3);
    fill(result, [&](int x, int y, int i) { return pixelAt(image, x / factor, y / factor)[i]; });
    return result;
}

Pixel pixelAt(const Image& image, int x, int y) {
    const std::uint8_t* p = image.row(y) + x * 4;
    return {p[0], p[1], p[2], p[3]};
}

Image discOnBackground(int width, int height, const std::uint8_t background[3],
                       const std::uint8_t subject[3], double radiusShare) {
    Image image = Image::make(width, height, 8, AlphaInfo::none, ColorSpace::sRGB(), 3);
    const double radius = radiusShare * std::min(width, height);
    // Anti-aliased like a photographed outline: coverage from 4 × 4 samples per pixel.
    fill(image, [&](int x, int y, int c) {
        int covered = 0;
        for (int sample = 0; sample < 16; ++sample)
            covered += std::hypot(x + (sample % 4 + 0.5) / 4 - width / 2.0,
                                  y + (sample / 4 + 0.5) / 4 - height / 2.0) < radius;
        return int(std::lround((covered * subject[c] + (16 - covered) * background[c]) / 16.0));
    });
    return image;
}

double intersectionOverUnion(const Image& mask, const Image& truth) {
    std::size_t both = 0, either = 0;
    for (std::size_t i = 0; i < mask.pixels.size(); ++i) {
        both += mask.pixels[i] >= 128 && truth.pixels[i] >= 128;
        either += mask.pixels[i] >= 128 || truth.pixels[i] >= 128;
    }
    return either ? double(both) / double(either) : 0.0;
}

} // namespace glintwork::test
