#pragma once

#include <cstdint>
#include <vector>

#include <QByteArray>

namespace glintwork {

// Whether the last component is alpha, and whether colours are multiplied by it. Decoded
// images have no alpha or straight alpha; the upscaler paints premultiplied tiles. The
// numeric values are fixed: error texts print them as numbers.
enum class AlphaInfo : int {
    none = 0,
    premultipliedLast = 1,
    last = 3,
};

// Byte order of 16-bit components. `big` is the default order of 16-bit image data.
enum class ByteOrder16 { big, little };

struct ColorSpace {
    enum class Kind { none, sRGB, deviceRGB, deviceGray, linearGray, icc };

    Kind kind = Kind::none;
    // The embedded profile when kind is icc; empty otherwise.
    QByteArray iccProfile;
    // Colour components the space describes (1 grey, 3 RGB, 4 CMYK); 0 for none.
    int componentCount = 0;

    [[nodiscard]] static ColorSpace sRGB() { return {Kind::sRGB, {}, 3}; }
    [[nodiscard]] static ColorSpace deviceRGB() { return {Kind::deviceRGB, {}, 3}; }
    [[nodiscard]] static ColorSpace deviceGray() { return {Kind::deviceGray, {}, 1}; }
    [[nodiscard]] static ColorSpace linearGray() { return {Kind::linearGray, {}, 1}; }
    [[nodiscard]] static ColorSpace fromICC(QByteArray profile, int components) {
        return {Kind::icc, std::move(profile), components};
    }

    friend bool operator==(const ColorSpace&, const ColorSpace&) = default;
};

// A decoded bitmap: geometry, pixel layout (bits per component and per pixel, where alpha
// sits, 16-bit byte order) and colour space, as the decoder found them, so the cut-out can
// keep every colour byte. Rows run top to bottom; a row may carry padding beyond
// width × bitsPerPixel / 8 bytes.
struct Image {
    int width = 0;
    int height = 0;
    int bitsPerComponent = 8; // 8, 16, or 32 when isFloat
    int bitsPerPixel = 0;
    int bytesPerRow = 0;
    AlphaInfo alphaInfo = AlphaInfo::none;
    ByteOrder16 byteOrder16 = ByteOrder16::big;
    bool isFloat = false;
    ColorSpace colorSpace;
    std::vector<std::uint8_t> pixels;

    // A packed image with a fresh zero-filled buffer: `colorComponents` colour components
    // plus one more when alphaInfo names an alpha component.
    [[nodiscard]] static Image make(int width, int height, int bitsPerComponent,
                                    AlphaInfo alphaInfo, ColorSpace colorSpace,
                                    int colorComponents);

    [[nodiscard]] int bytesPerComponent() const { return bitsPerComponent / 8; }
    [[nodiscard]] int bytesPerPixel() const { return bitsPerPixel / 8; }
    [[nodiscard]] int componentsPerPixel() const;
    // True when the last component is alpha, premultiplied or straight.
    [[nodiscard]] bool hasAlpha() const;
    [[nodiscard]] bool isPremultiplied() const;
    // Colour components per pixel: components minus any alpha component.
    [[nodiscard]] int colorComponentsPerPixel() const;
    [[nodiscard]] bool isEmpty() const { return width < 1 || height < 1; }

    [[nodiscard]] const std::uint8_t* row(int y) const {
        return pixels.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(bytesPerRow);
    }
    [[nodiscard]] std::uint8_t* row(int y) {
        return pixels.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(bytesPerRow);
    }

    friend bool operator==(const Image&, const Image&) = default;
};

} // namespace glintwork
