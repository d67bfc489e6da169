#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "platform/Image.h"

namespace glintwork {

// How an image is cut and put back together. The cutting reads tileSize and overlap, the
// painting reads only scale.
struct TileSpec {
    std::int64_t tileSize = 512;
    std::int64_t overlap = 64;
    std::int64_t scale = 4;

    friend bool operator==(const TileSpec&, const TileSpec&) = default;
};

struct TileBounds {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;

    friend bool operator==(const TileBounds&, const TileBounds&) = default;
};

// One window of the source: where it sits and the pixels it really holds (a window that
// reaches past the right or bottom edge is clipped, and its bounds say so).
struct Tile {
    TileBounds bounds;
    std::shared_ptr<const Image> image;
};

struct SourceSize {
    double width = 0;
    double height = 0;
};

// Cuts an image into overlapping square windows a fixed-size network accepts, and pastes
// the upscaled windows into one canvas. Holds no state, so one instance serves every file
// of a batch on any thread.
class AutoTiler {
public:
    // Row-major windows. An image no larger than one window in both directions comes back
    // as a single tile holding the image itself, uncropped.
    [[nodiscard]] std::vector<Tile> tile(const std::shared_ptr<const Image>& image,
                                         const TileSpec& spec) const;

    // The output is assembled as each tile is upscaled, so a file never holds all of them:
    // a cleared RGBA8 premultiplied canvas of the source size times the scale (nothing when
    // it cannot be made: a side below one pixel, or no memory for it), then one tile at a
    // time, later tiles replacing earlier ones in every overlap.
    [[nodiscard]] std::optional<Image> makeCanvas(SourceSize originalSize,
                                                  const TileSpec& spec) const;
    void paint(Image& canvas, const TileBounds& bounds, const Image& upscaled,
               const TileSpec& spec) const;

    // The windows tile() cuts, without their pixels: a file can crop each one when its turn
    // comes and hold one tile at a time instead of all of them.
    [[nodiscard]] static std::vector<TileBounds> windows(std::int64_t width, std::int64_t height,
                                                         const TileSpec& spec);
    // The pixels of one window: the image itself when the window covers all of it, else a
    // packed copy of just that rectangle; nothing when the window lies outside the image.
    [[nodiscard]] static std::shared_ptr<const Image>
    pixels(const std::shared_ptr<const Image>& image, const TileBounds& bounds);

    // Start coordinates of the windows along one axis; the last window is flush with the
    // far edge.
    [[nodiscard]] static std::vector<std::int64_t> tilePositions(std::int64_t extent,
                                                                 std::int64_t tileSize,
                                                                 std::int64_t step);
};

// The pixels of a rectangle of an image intersected with its bounds, packed; nothing when
// the intersection is empty.
[[nodiscard]] std::optional<Image> cropImage(const Image& image, std::int64_t x, std::int64_t y,
                                             std::int64_t width, std::int64_t height);

} // namespace glintwork
