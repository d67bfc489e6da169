#include "upscale/AutoTiler.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <new>

#include "platform/ImageServices.h"

namespace glintwork {

namespace {

// Tiles from the upscaler are packed RGBA8 and opaque; anything else is brought to that
// layout first so painting has one pixel format to deal with.
bool isPackedRGBA8(const Image& image) {
    return image.bitsPerComponent == 8 && !image.isFloat && image.bitsPerPixel == 32 &&
           (image.alphaInfo == AlphaInfo::last || image.alphaInfo == AlphaInfo::premultipliedLast);
}

std::uint8_t multiplyByAlpha(std::uint8_t value, std::uint8_t alpha) {
    return static_cast<std::uint8_t>((value * alpha + 127) / 255);
}

} // namespace

std::optional<Image> cropImage(const Image& image, std::int64_t x, std::int64_t y,
                               std::int64_t width, std::int64_t height) {
    const std::int64_t left = std::max<std::int64_t>(x, 0);
    const std::int64_t top = std::max<std::int64_t>(y, 0);
    const std::int64_t right = std::min<std::int64_t>(x + width, image.width);
    const std::int64_t bottom = std::min<std::int64_t>(y + height, image.height);
    if (right <= left || bottom <= top || image.bitsPerPixel % 8 != 0)
        return std::nullopt;

    // Field by field: copying the image and shrinking its buffer would keep the whole
    // source's allocation alive in every crop.
    Image crop;
    crop.width = static_cast<int>(right - left);
    crop.height = static_cast<int>(bottom - top);
    crop.bitsPerComponent = image.bitsPerComponent;
    crop.bitsPerPixel = image.bitsPerPixel;
    crop.alphaInfo = image.alphaInfo;
    crop.byteOrder16 = image.byteOrder16;
    crop.isFloat = image.isFloat;
    crop.colorSpace = image.colorSpace;
    const std::size_t bytesPerPixel = static_cast<std::size_t>(image.bytesPerPixel());
    crop.bytesPerRow = static_cast<int>(static_cast<std::size_t>(crop.width) * bytesPerPixel);
    crop.pixels.resize(static_cast<std::size_t>(crop.bytesPerRow) *
                       static_cast<std::size_t>(crop.height));
    for (int row = 0; row < crop.height; ++row) {
        const std::uint8_t* from =
            image.row(static_cast<int>(top) + row) + static_cast<std::size_t>(left) * bytesPerPixel;
        std::memcpy(crop.row(row), from, static_cast<std::size_t>(crop.bytesPerRow));
    }
    return crop;
}

std::vector<std::int64_t> AutoTiler::tilePositions(std::int64_t extent, std::int64_t tileSize,
                                                   std::int64_t step) {
    if (tileSize >= extent)
        return {0};
    std::vector<std::int64_t> positions;
    std::int64_t position = 0;
    do {
        positions.push_back(position);
        position += step;
    } while (position + tileSize <= extent);
    const std::int64_t last = std::max<std::int64_t>(extent - tileSize, 0);
    if (positions.back() != last)
        positions.push_back(last);
    return positions;
}

std::vector<TileBounds> AutoTiler::windows(std::int64_t width, std::int64_t height,
                                           const TileSpec& spec) {
    if (width < 1 || height < 1)
        return {};
    if (spec.tileSize >= width && spec.tileSize >= height)
        return {{0, 0, double(width), double(height)}};
    const std::int64_t step = std::max<std::int64_t>(spec.tileSize - spec.overlap, 1);
    const auto xs = tilePositions(width, spec.tileSize, step);
    const auto ys = tilePositions(height, spec.tileSize, step);
    std::vector<TileBounds> windows;
    windows.reserve(xs.size() * ys.size());
    for (const std::int64_t y : ys) {
        for (const std::int64_t x : xs)
            windows.push_back({double(x), double(y), double(std::min(spec.tileSize, width - x)),
                               double(std::min(spec.tileSize, height - y))});
    }
    return windows;
}

std::shared_ptr<const Image> AutoTiler::pixels(const std::shared_ptr<const Image>& image,
                                               const TileBounds& bounds) {
    if (!image)
        return nullptr;
    if (bounds.x == 0 && bounds.y == 0 && bounds.width == image->width &&
        bounds.height == image->height)
        return image;
    auto crop = cropImage(*image, std::int64_t(bounds.x), std::int64_t(bounds.y),
                          std::int64_t(bounds.width), std::int64_t(bounds.height));
    return crop ? std::make_shared<const Image>(std::move(*crop)) : nullptr;
}

std::vector<Tile> AutoTiler::tile(const std::shared_ptr<const Image>& image,
                                  const TileSpec& spec) const {
    if (!image)
        return {};
    std::vector<Tile> tiles;
    for (const TileBounds& bounds : windows(image->width, image->height, spec)) {
        if (auto crop = pixels(image, bounds))
            tiles.push_back(Tile{bounds, std::move(crop)});
    }
    return tiles;
}

std::optional<Image> AutoTiler::makeCanvas(SourceSize originalSize, const TileSpec& spec) const {
    const double width = std::trunc(originalSize.width) * double(spec.scale);
    const double height = std::trunc(originalSize.height) * double(spec.scale);
    if (!(width >= 1) || !(height >= 1) || width > INT_MAX / 4 || height > INT_MAX)
        return std::nullopt;
    try {
        return Image::make(static_cast<int>(width), static_cast<int>(height), 8,
                           AlphaInfo::premultipliedLast, ColorSpace::deviceRGB(), 3);
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    } catch (const std::length_error&) {
        return std::nullopt;
    }
}

void AutoTiler::paint(Image& canvas, const TileBounds& bounds, const Image& upscaled,
                      const TileSpec& spec) const {
    const auto scale = double(spec.scale);
    const auto left = static_cast<std::int64_t>(bounds.x * scale);
    const auto top = static_cast<std::int64_t>(bounds.y * scale);
    const auto width = static_cast<std::int64_t>(bounds.width * scale);
    const auto height = static_cast<std::int64_t>(bounds.height * scale);
    if (width < 1 || height < 1 || upscaled.isEmpty())
        return;

    // A tile whose size differs from its rectangle is stretched to fill it, as drawing into
    // a rectangle does; the upscaler's tiles always fit exactly.
    std::optional<Image> converted;
    const Image* source = &upscaled;
    if (upscaled.width != width || upscaled.height != height) {
        converted = ImageServices::toRGBA8(
            ImageServices::downscale(upscaled, static_cast<int>(width), static_cast<int>(height)));
        source = &*converted;
    } else if (!isPackedRGBA8(upscaled)) {
        converted = ImageServices::toRGBA8(upscaled);
        source = &*converted;
    }
    const bool premultiplied = source->alphaInfo == AlphaInfo::premultipliedLast;

    const std::int64_t firstColumn = std::max<std::int64_t>(left, 0);
    const std::int64_t endColumn = std::min<std::int64_t>(left + width, canvas.width);
    const std::int64_t firstRow = std::max<std::int64_t>(top, 0);
    const std::int64_t endRow = std::min<std::int64_t>(top + height, canvas.height);
    if (endColumn <= firstColumn || endRow <= firstRow)
        return;
    const auto count = static_cast<std::size_t>(endColumn - firstColumn);
    for (std::int64_t y = firstRow; y < endRow; ++y) {
        const std::uint8_t* from = source->row(static_cast<int>(y - top)) +
                                   static_cast<std::size_t>(firstColumn - left) * 4;
        std::uint8_t* to =
            canvas.row(static_cast<int>(y)) + static_cast<std::size_t>(firstColumn) * 4;
        for (std::size_t i = 0; i < count; ++i, from += 4, to += 4) {
            const std::uint8_t alpha = from[3];
            if (alpha == 255) {
                to[0] = from[0];
                to[1] = from[1];
                to[2] = from[2];
                to[3] = 255;
                continue;
            }
            // Source-over in premultiplied terms: what the tile leaves uncovered keeps the
            // share of the canvas underneath it.
            const int keep = 255 - alpha;
            for (int c = 0; c < 3; ++c) {
                const std::uint8_t colour =
                    premultiplied ? from[c] : multiplyByAlpha(from[c], alpha);
                to[c] =
                    static_cast<std::uint8_t>(std::min(255, colour + (to[c] * keep + 127) / 255));
            }
            to[3] = static_cast<std::uint8_t>(std::min(255, alpha + (to[3] * keep + 127) / 255));
        }
    }
}

} // namespace glintwork
