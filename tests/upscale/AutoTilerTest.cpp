#include <gtest/gtest.h>

#include "support/TestImages.h"
#include "upscale/AutoTiler.h"

namespace glintwork {
namespace {

using test::makePatternImage;
using test::pixelAt;
using test::solidImage;

// Tiles come in row-major order, the last flush with the far edge, clipped to the image and
// cut from their place in the source; an image within one window is its own tile, uncopied.
TEST(AutoTiler, TilesAreClippedWindowsCutFromTheirPlace) {
    const struct {
        int width, height;
        TileSpec spec;
        std::vector<double> xs, ys;
    } cases[] = {
        {513, 100, {512, 64, 4}, {0, 1}, {0}},
        {300, 1000, {512, 64, 4}, {0}, {0, 448, 488}},
        {2000, 2000, {512, 64, 4}, {0, 448, 896, 1344, 1488}, {0, 448, 896, 1344, 1488}},
        {512, 20, {512, 64, 2}, {0}, {0}},
        {6, 5, {4, 9, 1}, {0, 1, 2}, {0, 1}}, // an overlap past the tile still advances
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.width);
        const auto source = std::make_shared<const Image>(makePatternImage(c.width, c.height));
        const auto tiles = AutoTiler().tile(source, c.spec);
        ASSERT_EQ(tiles.size(), c.xs.size() * c.ys.size());
        for (std::size_t i = 0; i < tiles.size(); ++i) {
            const TileBounds b{c.xs[i % c.xs.size()], c.ys[i / c.xs.size()],
                               std::min(double(c.spec.tileSize), double(c.width)),
                               std::min(double(c.spec.tileSize), double(c.height))};
            ASSERT_EQ(tiles[i].bounds, b) << "tile " << i;
            const Image& tile = *tiles[i].image;
            ASSERT_EQ(std::pair(tile.width, tile.height), std::pair(int(b.width), int(b.height)));
            EXPECT_EQ(pixelAt(tile, tile.width - 1, tile.height - 1),
                      pixelAt(*source, int(b.x + b.width) - 1, int(b.y + b.height) - 1));
            // A tile holds its own pixels and no more: a file's memory must not grow with
            // the number of tiles times the size of the source.
            if (tiles.size() > 1) {
                EXPECT_EQ(tile.pixels.capacity(),
                          std::size_t(tile.width) * std::size_t(tile.height) * 4);
            }
        }
        EXPECT_EQ(tiles.size(), AutoTiler::windows(c.width, c.height, c.spec).size());
        if (tiles.size() == 1) {
            EXPECT_EQ(tiles[0].image.get(), source.get());
        }
    }
}

TEST(AutoTiler, LaterTileWinsEveryOverlapBand) {
    // Each tile painted in its own colour, so the owner of every output pixel shows.
    const auto source = std::make_shared<const Image>(makePatternImage(20, 14));
    const TileSpec spec{8, 2, 2};
    const auto tiles = AutoTiler().tile(source, spec);
    auto canvas = AutoTiler().makeCanvas({20, 14}, spec);
    ASSERT_TRUE(canvas);
    for (std::size_t i = 0; i < tiles.size(); ++i)
        AutoTiler().paint(*canvas, tiles[i].bounds,
                          solidImage(int(tiles[i].bounds.width) * 2,
                                     int(tiles[i].bounds.height) * 2,
                                     {std::uint8_t(10 + i), 0, 0, 255}),
                          spec);
    for (int y = 0; y < canvas->height; ++y)
        for (int x = 0; x < canvas->width; ++x) {
            int owner = -1;
            for (std::size_t i = 0; i < tiles.size(); ++i) {
                const auto& b = tiles[i].bounds;
                if (x >= b.x * 2 && x < (b.x + b.width) * 2 && y >= b.y * 2 && y < (b.y + b.height) * 2)
                    owner = int(i);
            }
            ASSERT_EQ(pixelAt(*canvas, x, y), (Pixel{std::uint8_t(10 + owner), 0, 0, 255})) << x << "," << y;
        }
}

TEST(AutoTiler, TileThenPaintRebuildsTheImageWithoutStretching) {
    const auto source = std::make_shared<const Image>(makePatternImage(1000, 300));
    const TileSpec spec{512, 64, 4};
    auto canvas = AutoTiler().makeCanvas({1000, 300}, spec);
    ASSERT_TRUE(canvas);
    for (const auto& tile : AutoTiler().tile(source, spec))
        AutoTiler().paint(*canvas, tile.bounds, test::nearestUpscale(*tile.image, 4), spec);
    EXPECT_EQ(canvas->pixels, test::nearestUpscale(*source, 4).pixels);
}

TEST(AutoTiler, TranslucentTileIsComposedOverWhatIsBeneathAndEmptySourcesHaveNoCanvas) {
    const TileSpec spec{4, 0, 1};
    for (const SourceSize size : {SourceSize{0, 10}, SourceSize{10, 0.7}, SourceSize{-3, 10}})
        EXPECT_FALSE(AutoTiler().makeCanvas(size, spec)) << "no canvas for an empty source";
    auto canvas = AutoTiler().makeCanvas({2, 1}, spec);
    ASSERT_TRUE(canvas);
    AutoTiler().paint(*canvas, {0, 0, 2, 1}, solidImage(2, 1, {200, 100, 0, 255}), spec);
    AutoTiler().paint(*canvas, {1, 0, 1, 1}, solidImage(1, 1, {0, 0, 255, 128}), spec);
    EXPECT_EQ(pixelAt(*canvas, 0, 0), (Pixel{200, 100, 0, 255}));
    // 128/255 of blue plus 127/255 of what was there.
    EXPECT_EQ(pixelAt(*canvas, 1, 0), (Pixel{100, 50, 128, 255}));
}

} // namespace
} // namespace glintwork
