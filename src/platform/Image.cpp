#include "platform/Image.h"

namespace glintwork {

Image Image::make(int width, int height, int bitsPerComponent, AlphaInfo alphaInfo,
                  ColorSpace colorSpace, int colorComponents) {
    Image image;
    image.width = width;
    image.height = height;
    image.bitsPerComponent = bitsPerComponent;
    image.isFloat = bitsPerComponent == 32;
    image.alphaInfo = alphaInfo;
    image.colorSpace = std::move(colorSpace);
    const int components = colorComponents + (alphaInfo == AlphaInfo::none ? 0 : 1);
    image.bitsPerPixel = components * bitsPerComponent;
    image.bytesPerRow = width * image.bitsPerPixel / 8;
    image.pixels.assign(static_cast<std::size_t>(image.bytesPerRow) *
                            static_cast<std::size_t>(height > 0 ? height : 0),
                        0);
    return image;
}

int Image::componentsPerPixel() const {
    return bitsPerComponent > 0 ? bitsPerPixel / bitsPerComponent : 0;
}

bool Image::hasAlpha() const {
    return alphaInfo != AlphaInfo::none;
}

bool Image::isPremultiplied() const {
    return alphaInfo == AlphaInfo::premultipliedLast;
}

int Image::colorComponentsPerPixel() const {
    return componentsPerPixel() - (alphaInfo == AlphaInfo::none ? 0 : 1);
}

} // namespace glintwork
