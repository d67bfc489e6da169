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
    const int components =
        alphaInfo == AlphaInfo::only ? 1
                                     : colorComponents + (alphaInfo == AlphaInfo::none ? 0 : 1);
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
    switch (alphaInfo) {
    case AlphaInfo::premultipliedLast:
    case AlphaInfo::premultipliedFirst:
    case AlphaInfo::last:
    case AlphaInfo::first:
    case AlphaInfo::only:
        return true;
    case AlphaInfo::none:
    case AlphaInfo::noneSkipLast:
    case AlphaInfo::noneSkipFirst:
        return false;
    }
    return false;
}

bool Image::isPremultiplied() const {
    return alphaInfo == AlphaInfo::premultipliedLast || alphaInfo == AlphaInfo::premultipliedFirst;
}

bool Image::alphaFirst() const {
    return alphaInfo == AlphaInfo::premultipliedFirst || alphaInfo == AlphaInfo::first ||
           alphaInfo == AlphaInfo::noneSkipFirst;
}

int Image::colorComponentsPerPixel() const {
    if (alphaInfo == AlphaInfo::only)
        return 0;
    return componentsPerPixel() - (alphaInfo == AlphaInfo::none ? 0 : 1);
}

} // namespace glintwork
