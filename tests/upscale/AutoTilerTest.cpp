#include <gtest/gtest.h>

#include <tuple>

#include "upscale/AutoTiler.h"
#include "UpscaleTestImages.h"

namespace glintwork {
namespace {

using test::makePatternImage;
using test::nearestUpscale;
using test::pixelAt;
using test::solidImage;

struct PositionCase {
    std::int64_t extent;
    std::int64_t tileSize;
    std::int64_t step;
    std::vector<std::int64_t> expected;
};

class TilePositionsTest : public ::testing::TestWithParam<PositionCase> {};

TEST_P(TilePositionsTest, WindowsCoverTheAxisAndEndFlush) {
    const auto& c = GetParam();
    EXPECT_EQ(AutoTiler::tilePositions(c.extent, c.tileSize, c.step), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Examples, TilePositionsTest,
    ::testing::Values(PositionCase{1000, 512, 448, {0, 448, 488}},
                      PositionCase{960, 512, 448, {0, 448}},
                      PositionCase{2000, 512, 448, {0, 448, 896, 1344, 1488}},
                      PositionCase{300, 512, 448, {0}}, PositionCase{512, 512, 448, {0}},
                      PositionCase{513, 512, 448, {0, 1}}, PositionCase{6, 4, 1, {0, 1, 2}}));

struct CutCase {
    int width;
    int height;
    std::vector<TileBounds> expected;
};

class TileCuttingTest : public ::testing::TestWithParam<CutCase> {};

TEST_P(TileCuttingTest, BoundsAreClippedWindowsInRowMajorOrder) {
    const auto& c = GetParam();
    const auto source = std::make_shared<const Image>(makePatternImage(c.width, c.height));
    const auto tiles = AutoTiler().tile(source, {512, 64, 4});
    ASSERT_EQ(tiles.size(), c.expected.size());
    for (std::size_t i = 0; i < tiles.size(); ++i) {
        const auto& tile = tiles[i];
        EXPECT_EQ(tile.bounds, c.expected[i]) << "tile " << i;
        ASSERT_TRUE(tile.image);
        EXPECT_EQ(tile.image->width, int(tile.bounds.width));
        EXPECT_EQ(tile.image->height, int(tile.bounds.height));
        // Pixels come from the window's place in the source, not from its origin.
        for (const auto& [dx, dy] : {std::pair{0, 0}, std::pair{tile.image->width - 1, tile.image->height - 1}})
            EXPECT_EQ(pixelAt(*tile.image, dx, dy),
                      pixelAt(*source, int(tile.bounds.x) + dx, int(tile.bounds.y) + dy));
    }
}

std::vector<TileBounds> grid(const std::vector<double>& xs, const std::vector<double>& ys, double w,
                             double h) {
    std::vector<TileBounds> bounds;
    for (double y : ys)
        for (double x : xs)
            bounds.push_back({x, y, w, h});
    return bounds;
}

INSTANTIATE_TEST_SUITE_P(
    Examples, TileCuttingTest,
    ::testing::Values(CutCase{513, 100, grid({0, 1}, {0}, 512, 100)},
                      CutCase{1000, 300, grid({0, 448, 488}, {0}, 512, 300)},
                      CutCase{300, 1000, grid({0}, {0, 448, 488}, 300, 512)},
                      CutCase{2000, 2000,
                              grid({0, 448, 896, 1344, 1488}, {0, 448, 896, 1344, 1488}, 512, 512)}));

TEST(AutoTilerTest, ImageWithinOneWindowIsItsOwnTileUncropped) {
    for (const auto& [w, h] : {std::pair{512, 512}, std::pair{300, 20}, std::pair{1, 1}}) {
        const auto source = std::make_shared<const Image>(makePatternImage(w, h));
        const auto tiles = AutoTiler().tile(source, {512, 64, 2});
        ASSERT_EQ(tiles.size(), 1u);
        EXPECT_EQ(tiles[0].image.get(), source.get());
        EXPECT_EQ(tiles[0].bounds, (TileBounds{0, 0, double(w), double(h)}));
    }
}

TEST(AutoTilerTest, OverlapNotSmallerThanTileStillAdvancesOnePixel) {
    const auto source = std::make_shared<const Image>(makePatternImage(6, 5));
    const auto tiles = AutoTiler().tile(source, {4, 9, 1});
    // x at 0, 1, 2 and y at 0, 1.
    ASSERT_EQ(tiles.size(), 6u);
    EXPECT_EQ(tiles[4].bounds, (TileBounds{1, 1, 4, 4}));
}

TEST(AutoTilerTest, MergeOfNothingIsATransparentCanvasOfTheOutputSize) {
    const auto canvas = AutoTiler().merge({}, {10.9, 3.2}, {512, 64, 4});
    ASSERT_TRUE(canvas);
    EXPECT_EQ(canvas->width, 40);
    EXPECT_EQ(canvas->height, 12);
    EXPECT_EQ(canvas->alphaInfo, AlphaInfo::premultipliedLast);
    EXPECT_EQ(canvas->bytesPerRow, 160);
    for (auto byte : canvas->pixels)
        ASSERT_EQ(byte, 0);
}

TEST(AutoTilerTest, NonPositiveOutputSizeGivesNoImage) {
    EXPECT_FALSE(AutoTiler().merge({}, {0, 10}, {512, 64, 4}));
    EXPECT_FALSE(AutoTiler().merge({}, {10, 0.7}, {512, 64, 2}));
    EXPECT_FALSE(AutoTiler().merge({}, {-3, 10}, {512, 64, 2}));
}

TEST(AutoTilerTest, LaterTileWinsEveryOverlapBand) {
    // Three windows across, two down: each tile is painted in its own colour so the
    // owner of every output pixel is visible.
    const auto source = std::make_shared<const Image>(makePatternImage(20, 14));
    const TileSpec spec{8, 2, 2};
    const auto tiles = AutoTiler().tile(source, spec);
    ASSERT_EQ(tiles.size(), 3u * 2u); // x 0, 6, 12; y 0, 6
    std::vector<UpscaledTile> upscaled;
    for (std::size_t i = 0; i < tiles.size(); ++i)
        upscaled.emplace_back(tiles[i], solidImage(int(tiles[i].bounds.width) * 2,
                                                   int(tiles[i].bounds.height) * 2,
                                                   {std::uint8_t(10 + i), 0, 0, 255}));
    const auto canvas = AutoTiler().merge(upscaled, {20, 14}, spec);
    ASSERT_TRUE(canvas);
    for (int y = 0; y < canvas->height; ++y) {
        for (int x = 0; x < canvas->width; ++x) {
            // The last tile in row-major order whose rectangle holds the pixel.
            int owner = -1;
            for (std::size_t i = 0; i < tiles.size(); ++i) {
                const auto& b = tiles[i].bounds;
                if (x >= b.x * 2 && x < (b.x + b.width) * 2 && y >= b.y * 2 && y < (b.y + b.height) * 2)
                    owner = int(i);
            }
            ASSERT_EQ(pixelAt(*canvas, x, y), (Pixel{std::uint8_t(10 + owner), 0, 0, 255}))
                << x << "," << y;
        }
    }
}

TEST(AutoTilerTest, TileThenMergeRebuildsTheImageWithoutStretching) {
    const auto source = std::make_shared<const Image>(makePatternImage(1000, 300));
    const TileSpec spec{512, 64, 4};
    std::vector<UpscaledTile> upscaled;
    for (const auto& tile : AutoTiler().tile(source, spec))
        upscaled.emplace_back(tile, nearestUpscale(*tile.image, 4));
    const auto canvas = AutoTiler().merge(upscaled, {1000, 300}, spec);
    ASSERT_TRUE(canvas);
    ASSERT_EQ(canvas->width, 4000);
    ASSERT_EQ(canvas->height, 1200);
    for (int y = 0; y < canvas->height; y += 7)
        for (int x = 0; x < canvas->width; x += 3)
            ASSERT_EQ(pixelAt(*canvas, x, y), pixelAt(*source, x / 4, y / 4)) << x << "," << y;
}

TEST(AutoTilerTest, TranslucentTileIsComposedOverWhatIsBeneath) {
    const TileSpec spec{4, 0, 1};
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
