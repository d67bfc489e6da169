#include "ImageTestUtil.h"

#include <cmath>
#include <cstring>
#include <limits>

namespace glintwork::test {

namespace {
std::uint8_t* componentAddress(Image& image, int x, int y, int index) {
    return image.row(y) + x * image.bytesPerPixel() + index * image.bytesPerComponent();
}
} // namespace

double component(const Image& image, int x, int y, int index) {
    const std::uint8_t* p =
        image.row(y) + x * image.bytesPerPixel() + index * image.bytesPerComponent();
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
                std::uint8_t* p = componentAddress(image, x, y, i);
                if (image.bitsPerComponent == 8) {
                    p[0] = static_cast<std::uint8_t>(v);
                } else if (image.byteOrder16 == ByteOrder16::big) {
                    p[0] = static_cast<std::uint8_t>(v >> 8);
                    p[1] = static_cast<std::uint8_t>(v);
                } else {
                    p[0] = static_cast<std::uint8_t>(v);
                    p[1] = static_cast<std::uint8_t>(v >> 8);
                }
            }
}

double psnr(const Image& a, const Image& b) {
    const double scale = a.bitsPerComponent == 16 ? 257.0 : 1.0;
    double squared = 0;
    long count = 0;
    for (int y = 0; y < a.height; ++y)
        for (int x = 0; x < a.width; ++x)
            for (int i = 0; i < a.colorComponentsPerPixel(); ++i) {
                const double d = (component(a, x, y, i) - component(b, x, y, i)) / scale;
                squared += d * d;
                ++count;
            }
    const double mse = squared / double(count);
    return mse == 0 ? std::numeric_limits<double>::infinity()
                    : 10.0 * std::log10(255.0 * 255.0 / mse);
}

} // namespace glintwork::test
