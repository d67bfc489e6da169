#include "UpscaleTestImages.h"

namespace glintwork::test {

Image makePatternImage(int width, int height) {
    Image image = Image::make(width, height, 8, AlphaInfo::last, ColorSpace::sRGB(), 3);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            std::uint8_t* p = image.row(y) + x * 4;
            p[0] = std::uint8_t(x * 7 + y);
            p[1] = std::uint8_t(y * 13 + (x >> 8) * 31);
            p[2] = std::uint8_t((x ^ y) * 3 + (y >> 8) * 17);
            p[3] = 255;
        }
    }
    return image;
}

Image solidImage(int width, int height, Pixel colour) {
    Image image = Image::make(width, height, 8, AlphaInfo::last, ColorSpace::sRGB(), 3);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < 4; ++c)
                image.row(y)[x * 4 + c] = colour[std::size_t(c)];
    return image;
}

Image nearestUpscale(const Image& image, int factor) {
    Image result = Image::make(image.width * factor, image.height * factor, 8, image.alphaInfo,
                               image.colorSpace, 3);
    for (int y = 0; y < result.height; ++y)
        for (int x = 0; x < result.width; ++x)
            for (int c = 0; c < 4; ++c)
                result.row(y)[x * 4 + c] = image.row(y / factor)[(x / factor) * 4 + c];
    return result;
}

Pixel pixelAt(const Image& image, int x, int y) {
    const std::uint8_t* p = image.row(y) + x * 4;
    return {p[0], p[1], p[2], p[3]};
}

} // namespace glintwork::test
