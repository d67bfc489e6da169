#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>

#include <gtest/gtest.h>

#include <QDir>

#include "platform/CancellationToken.h"
#include "support/TestImages.h"
#include "support/TestSupport.h"
#include "upscale/AutoTiler.h"
#include "upscale/DnnUpscaler.h"
#include "upscale/UpscaleErrors.h"
#include "upscale/TensorConversion.h"
#include "TestNetworks.h"

namespace glintwork {
namespace {

using test::makePatternImage;
using test::pixelAt;
using test::TestNetwork;

class DnnUpscalerTest : public ::testing::Test {
protected:
    // The network written under the scratch folder; the test skips without python3-onnx.
    QString network(TestNetwork kind, const QString& name) {
        const QString path = m_dir.filePath(name);
        QDir().mkpath(QFileInfo(path).absolutePath());
        QString why;
        if (!test::writeTestNetwork(kind, path, &why))
            m_skip = why;
        return path;
    }

    test::ScratchDir m_dir;
    QString m_skip;
};

#define SKIP_WITHOUT_NETWORKS()                                                                    \
    if (!m_skip.isEmpty())                                                                         \
    GTEST_SKIP() << m_skip.toStdString()

// Names and input shapes are read from the network: a fixed canvas is padded, other names
// are fed and fetched.
TEST_F(DnnUpscalerTest, TilesOfAnySizeComeBackAsTheNetworkMadeThem) {
    const std::tuple<TestNetwork, int, int> cases[] = {{TestNetwork::nearest4xAnySize, 100, 80},
                                                       {TestNetwork::nearest4xFixed512, 100, 80},
                                                       {TestNetwork::nearest4xAnySize, 512, 512},
                                                       {TestNetwork::nearest4xRenamed, 5, 3}};
    for (const auto& [kind, width, height] : cases) {
        SCOPED_TRACE(int(kind));
        const QString path = network(kind, QStringLiteral("net%1.onnx").arg(int(kind)));
        SKIP_WITHOUT_NETWORKS();
        const Image tile = makePatternImage(width, height);
        test::expectSamePixels(test::nearestUpscale(tile, 4),
                               DnnUpscaler(UpscaleModel::x4plus, path).upscale(tile, 4, {}));
    }
}

TEST_F(DnnUpscalerTest, CancellationStopsThePassBetweenLayers) {
    const QString path = network(TestNetwork::slow4xAnySize, QStringLiteral("slow.onnx"));
    SKIP_WITHOUT_NETWORKS();
    DnnUpscaler upscaler(UpscaleModel::x4plus, path);
    ASSERT_TRUE(upscaler.isLoaded());
    CancellationToken token;
    upscaler.setCancellationToken(&token);
    const Image small = makePatternImage(64, 48);
    std::vector<double> reported;
    test::expectSamePixels(
        test::nearestUpscale(small, 4),
        upscaler.upscale(small, 4, [&](double done) { reported.push_back(done); }));
    ASSERT_GE(reported.size(), 8u) << "progress comes layer by layer";
    EXPECT_TRUE(std::is_sorted(reported.begin(), reported.end()));
    EXPECT_DOUBLE_EQ(reported.back(), 1.0);

    // The first layer reports; the cancel comes from there, and no further layer runs.
    int layersAfterCancel = 0;
    try {
        (void)upscaler.upscale(makePatternImage(512, 512), 4, [&](double) {
            if (token.isCancelled())
                ++layersAfterCancel;
            token.cancel();
        });
        ADD_FAILURE() << "not cancelled";
    } catch (const CancelledError&) {
    }
    EXPECT_EQ(layersAfterCancel, 0);
    // The network stays usable for the next tile.
    CancellationToken fresh;
    upscaler.setCancellationToken(&fresh);
    test::expectSamePixels(test::nearestUpscale(small, 4), upscaler.upscale(small, 4, {}));
}

TEST_F(DnnUpscalerTest, MissingOrBrokenNetworksFailWithTheModelsName) {
    QDir().mkpath(m_dir.filePath(QStringLiteral("empty/models")));
    const test::ResourceFolder resources(m_dir.filePath(QStringLiteral("empty")));
    DnnUpscaler upscaler(UpscaleModel::animeX4);
    EXPECT_FALSE(upscaler.isLoaded());
    EXPECT_EQ(test::errorText([&] { (void)upscaler.upscale(test::solidImage(4, 4, {}), 4, {}); }),
              "AI upscale model (Anime / Illustration 4x) is not installed. Install the "
              "glintwork-models package, or run scripts/setup-models in a source checkout.");
    const QString broken =
        m_dir.writeFile(QStringLiteral("broken.onnx"), QByteArray("\x08\x07garbage", 9));
    DnnUpscaler brokenUpscaler(UpscaleModel::x4plus, broken);
    EXPECT_FALSE(brokenUpscaler.isLoaded());
    EXPECT_EQ(
        test::errorText([&] { (void)brokenUpscaler.upscale(test::solidImage(4, 4, {}), 4, {}); }),
        "broken.onnx is damaged or truncated: it is not a whole ONNX network");
}

TEST_F(DnnUpscalerTest, TwoTimesReducesTheFourTimesNetworkUntilItsOwnIsInstalled) {
    const test::ResourceFolder resources(m_dir.filePath(QStringLiteral("res")));
    const QString four =
        network(TestNetwork::nearest4xAnySize, QStringLiteral("res/models/RealESRGAN_x4plus.onnx"));
    SKIP_WITHOUT_NETWORKS();
    const Image solid = test::solidImage(50, 40, {30, 140, 250, 255});
    DnnUpscaler reduced(UpscaleModel::x2plus), fast(UpscaleModel::x4fast, four);
    EXPECT_TRUE(reduced.reducesFromFourX());
    for (DnnUpscaler* upscaler : {&reduced, &fast})
        EXPECT_EQ(upscaler->upscale(solid, 2, {}).pixels,
                  test::solidImage(100, 80, {30, 140, 250, 255}).pixels);
    EXPECT_TRUE(DnnUpscaler::isAvailable(UpscaleModel::x2plus));
    EXPECT_FALSE(DnnUpscaler::isAvailable(UpscaleModel::animeX4))
        << "the anime network has no stand-in";

    network(TestNetwork::doubling2xAnySize, QStringLiteral("res/models/RealESRGAN_x2plus.onnx"));
    DnnUpscaler own(UpscaleModel::x2plus);
    EXPECT_FALSE(own.reducesFromFourX());
    const Image tile = makePatternImage(30, 20);
    test::expectSamePixels(test::nearestUpscale(tile, 2), own.upscale(tile, 2, {}));
}

TEST_F(DnnUpscalerTest, TailInStripsGivesTheWholeNetworksResult) {
    const QString strips = network(TestNetwork::random4xWithTail, QStringLiteral("strips.onnx"));
    const QString whole = network(TestNetwork::random4xWhole, QStringLiteral("whole.onnx"));
    SKIP_WITHOUT_NETWORKS();
    // Tall enough for several strips, the last one short.
    const Image tile = makePatternImage(70, 130);
    const Image expected = DnnUpscaler(UpscaleModel::x4plus, whole).upscale(tile, 4, {});
    DnnUpscaler upscaler(UpscaleModel::x4plus, strips);
    // Strips and the whole picture may take differently vectorised kernels: a level apart
    // at most where a value lies on a rounding boundary.
    const auto largestDifference = [&](const Image& result) {
        int largest = 0;
        for (std::size_t i = 0; i < result.pixels.size(); ++i)
            largest = std::max(largest, std::abs(int(result.pixels[i]) - int(expected.pixels[i])));
        return largest;
    };
    const Image result = upscaler.upscale(tile, 4, {});
    ASSERT_EQ(std::pair(result.width, result.height), std::pair(280, 520));
    ASSERT_EQ(result.pixels.size(), expected.pixels.size());
    EXPECT_LE(largestDifference(result), 1);
    // The body's working memory is let go after each pass; the next tile has it again.
    EXPECT_EQ(upscaler.upscale(tile, 4, {}).pixels, result.pixels);
    EXPECT_NE(pixelAt(result, 100, 300), pixelAt(tile, 25, 75)) << "a network that changes nothing";
}

// The 3 × 3 mean of every pixel, edges repeated, enlarged 4x by repetition: what the blur
// networks give for a tile whose canvas repeats its edges.
Image blurredAndEnlarged(const Image& tile) {
    Image blurred = tile;
    test::fill(blurred, [&](int x, int y, int c) {
        if (c == 3)
            return 255;
        double sum = 0;
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx)
                sum += pixelAt(tile, std::clamp(x + dx, 0, tile.width - 1),
                               std::clamp(y + dy, 0, tile.height - 1))[std::size_t(c)];
        return int(std::lround(sum / 9));
    });
    return test::nearestUpscale(blurred, 4);
}

// The largest difference of a colour component, and where. The blur networks see zeros
// beyond their canvas, which starts where the tile starts: the first source row and column
// (four output pixels) show the network's own edge, not the padding of the tile.
std::pair<int, std::string> largestDifference(const Image& expected, const Image& actual) {
    if (std::pair(expected.width, expected.height) != std::pair(actual.width, actual.height))
        return {256, "sizes differ"};
    std::pair<int, std::string> worst{0, {}};
    for (int y = 4; y < actual.height; ++y)
        for (int x = 4; x < actual.width; ++x)
            for (std::size_t c = 0; c < 3; ++c) {
                const int d = std::abs(pixelAt(expected, x, y)[c] - pixelAt(actual, x, y)[c]);
                if (d > worst.first)
                    worst = {d, std::to_string(x) + "," + std::to_string(y)};
            }
    return worst;
}

// A network that looks at neighbours sees no edge where the tile ends and its canvas goes
// on, on the fixed 512 canvas and on any-size networks (whose canvas is rounded up to a
// multiple of 4): flat grey stays flat and a ramp keeps its slope up to the right and bottom.
// Nor does it darken a translucent edge or pull black into the opaque pixels beside it: the
// black hidden under transparent pixels takes the colour of the visible ones nearest to it,
// however far away they are.
TEST_F(DnnUpscalerTest, TilesArePaddedWithTheirOwnEdgesAndHiddenColours) {
    const QString any = network(TestNetwork::blur4xAnySize, QStringLiteral("blur.onnx"));
    const QString fixed = network(TestNetwork::blur4xFixed512, QStringLiteral("blurfixed.onnx"));
    SKIP_WITHOUT_NETWORKS();
    const Image grey = test::solidImage(451, 301, {128, 128, 128, 255});
    Image ramp = test::solidImage(37, 23, {});
    test::fill(ramp, [](int x, int y, int c) { return c == 3 ? 255 : 20 + x * 5 + y * 3 * c; });
    Image cutout = test::solidImage(41, 33, {});
    test::fill(cutout, [](int x, int, int c) {
        const int colour[4] = {200, 120, 40, x < 20 ? 255 : x == 20 ? 128 : 0};
        return x > 20 && c < 3 ? 0 : colour[c];
    });
    const Image orange = test::solidImage(164, 132, {200, 120, 40, 255});
    const std::tuple<const QString*, const Image*, Image, const char*> cases[] = {
        {&any, &grey, blurredAndEnlarged(grey), "flat, any size"},
        {&fixed, &grey, blurredAndEnlarged(grey), "flat, fixed"},
        {&any, &ramp, blurredAndEnlarged(ramp), "ramp, any size"},
        {&fixed, &ramp, blurredAndEnlarged(ramp), "ramp, fixed"},
        {&any, &cutout, orange, "transparent right half"}};
    for (const auto& [path, tile, expected, what] : cases) {
        const auto [difference, where] = largestDifference(
            expected, DnnUpscaler(UpscaleModel::x4plus, *path).upscale(*tile, 4, {}));
        EXPECT_LE(difference, 1) << what << " at " << where;
    }
}

enum class Layout { planar, interleaved, paddedRows };

// A [1, 3, h, w] tensor of pattern(c, y, x) stored as T (float, or _Float16 for halves) in the
// given order; the elements no pixel uses hold a value that would show.
float pattern(int c, int y, int x) {
    return float((c * 53 + y * 17 + x * 5) % 96) / 64.0f - 0.25f;
}

template <typename T> struct OwnedTensor {
    std::vector<T> storage;
    TensorView view;

    OwnedTensor(int width, int height, Layout layout) {
        const long long w = width + (layout == Layout::paddedRows ? 5 : 0), h = height;
        view.typeCode = static_cast<int>(sizeof(T) == 2 ? TensorElementType::float16
                                                        : TensorElementType::float32);
        view.shape = {1, 3, h, width};
        view.strides = layout == Layout::interleaved
                           ? std::vector<std::int64_t>{3 * h * w, 1, 3 * w, 3}
                           : std::vector<std::int64_t>{3 * h * w, h * w, w, 1};
        view.elementCount = std::size_t(view.strides[0]);
        storage.assign(view.elementCount, T(-7.0f));
        for (int c = 0; c < 3; ++c)
            for (int y = 0; y < height; ++y)
                for (int x = 0; x < width; ++x)
                    storage[std::size_t(c * view.strides[1] + y * view.strides[2] +
                                        x * view.strides[3])] = T(pattern(c, y, x));
        view.data = storage.data();
    }
};

TEST(TensorConversion, ValuesBecomeClampedRoundedBytesAndHalvesWidenExactly) {
    const float infinity = std::numeric_limits<float>::infinity();
    const std::pair<float, std::uint8_t> bytes[] = {{-0.3f, 0},
                                                    {-0.0f, 0},
                                                    {0.5f, 128},
                                                    {0.2f, 51},
                                                    {1.0f, 255},
                                                    {1.7f, 255},
                                                    {1.0f / 255.0f * 0.49f, 0},
                                                    {std::nanf(""), 255},
                                                    {infinity, 255},
                                                    {-infinity, 0}};
    for (const auto& [value, expected] : bytes)
        EXPECT_EQ(byteFromUnitFloat(value), expected) << value;
    // Every half against the compiler's own conversion.
    for (std::uint32_t half = 0; half < 0x10000; ++half) {
        const float expected = float(std::bit_cast<_Float16>(std::uint16_t(half)));
        if (!std::isnan(expected)) {
            ASSERT_EQ(halfToFloat(std::uint16_t(half)), expected) << half;
        }
    }
}

TEST(TensorConversion, HalfAndSingleFloatsGiveTheSameImageInAnyLayout) {
    const Image reference =
        imageFromOutputTensor(OwnedTensor<float>(9, 7, Layout::planar).view, 9, 7);
    EXPECT_EQ(pixelAt(reference, 4, 3)[2], byteFromUnitFloat(pattern(2, 3, 4)));
    EXPECT_EQ(pixelAt(reference, 4, 3)[0], byteFromUnitFloat(pattern(0, 3, 4)));
    for (const Layout layout : {Layout::planar, Layout::interleaved, Layout::paddedRows}) {
        SCOPED_TRACE(int(layout));
        const OwnedTensor<float> single(9, 7, layout);
        EXPECT_EQ(imageFromOutputTensor(single.view, 9, 7), reference);
        EXPECT_EQ(imageFromOutputTensor(OwnedTensor<_Float16>(9, 7, layout).view, 9, 7), reference);
        EXPECT_EQ(imageFromOutputTensor(single.view, 3, 5), *cropImage(reference, 0, 0, 3, 5))
            << "the top left";
    }
}

TEST(TensorConversion, TensorsOfAnotherTypeOrReadOutOfBoundsFailTheTile) {
    std::vector<float> storage(3 * 4 * 4, 0.5f);
    const TensorView good{static_cast<int>(TensorElementType::float32),
                          {1, 3, 4, 4},
                          {48, 16, 4, 1},
                          storage.data(),
                          storage.size()};
    const std::string outOfBounds =
        "Upscale inference failed: output tensor strides reach past its data";
    const std::tuple<const char*, std::function<void(TensorView&)>, std::string> cases[] = {
        {"unchanged", [](TensorView&) {}, "(no error)"},
        {"double", [](TensorView& v) { v.typeCode = int(TensorElementType::float64); },
         "Upscale inference failed: unsupported output dtype 65600"},
        {"rank 3",
         [](TensorView& v) {
             v.shape = {3, 4, 4};
             v.strides = {16, 4, 1};
         },
         "Upscale inference failed: output tensor has 3 dimensions, expected 4"},
        {"two channels", [](TensorView& v) { v.shape[1] = 2; },
         "Upscale inference failed: output tensor [1, 2, 4, 4] is smaller than 3 × 4 × 4"},
        {"storage short", [](TensorView& v) { v.elementCount = 40; }, outOfBounds},
        {"negative stride", [](TensorView& v) { v.strides[3] = -1; }, outOfBounds},
    };
    for (const auto& [what, change, expected] : cases) {
        TensorView view = good;
        change(view);
        EXPECT_EQ(test::errorText([&] { (void)imageFromOutputTensor(view, 4, 4); }), expected)
            << what;
    }
    TensorView doubles = good;
    doubles.typeCode = int(TensorElementType::float64);
    EXPECT_EQ(test::errorText([&] {
                  fillInputTensor(test::solidImage(2, 2, {1, 2, 3, 255}), doubles);
              }),
              "Upscale inference failed: the input tensor does not hold 32-bit floats");
}

TEST(TensorConversion, InputTileLandsTopLeftInStraightColourWithItsEdgesRepeated) {
    Image tile = Image::make(3, 2, 8, AlphaInfo::last, ColorSpace::sRGB(), 3);
    const Pixel colours[6] = {{255, 0, 0, 255},  {0, 255, 0, 255},   {0, 0, 255, 255},
                              {10, 20, 30, 255}, {255, 255, 255, 0}, {200, 100, 50, 128}};
    test::fill(tile, [&](int x, int y, int c) { return colours[y * 3 + x][std::size_t(c)]; });
    Image premultiplied = tile;
    premultiplied.alphaInfo = AlphaInfo::premultipliedLast;
    premultiplied.pixels[5 * 4] = 100; // (200, 100, 50) at alpha 128, premultiplied
    premultiplied.pixels[5 * 4 + 1] = 50;
    premultiplied.pixels[5 * 4 + 2] = 25;
    for (const Image* image : {&tile, &premultiplied}) {
        SCOPED_TRACE(int(image->alphaInfo));
        // Interleaved storage with padding, so a stride mistake lands on a wrong element.
        std::vector<float> storage(200, -1.0f);
        TensorView view{static_cast<int>(TensorElementType::float32),
                        {1, 3, 4, 5},
                        {0, 1, 16, 3},
                        storage.data(),
                        storage.size()};
        fillInputTensor(*image, view);
        const auto at = [&](int c, int y, int x) {
            return storage[std::size_t(c + y * 16 + x * 3)] * 255.0f;
        };
        // Half-covered colour at full strength, not darkened by its alpha (premultiplied
        // bytes keep a little less precision).
        EXPECT_NEAR(at(0, 1, 2), 200, 1);
        EXPECT_NEAR(at(1, 1, 2), 100, 1);
        EXPECT_NEAR(at(2, 1, 2), 50, 1);
        // The transparent white hides nothing worth showing: it takes the alpha-weighted mean
        // of the visible pixels of its 2 × 2 block.
        EXPECT_NEAR(at(0, 1, 1), (255 + 0 + 10) / 3.0f, 0.01);
        EXPECT_NEAR(at(1, 1, 1), (0 + 255 + 20) / 3.0f, 0.01);
        EXPECT_NEAR(at(2, 1, 1), 30 / 3.0f, 0.01);
        // Beyond the tile its last column and row repeat.
        for (int c = 0; c < 3; ++c) {
            EXPECT_EQ(at(c, 0, 4), at(c, 0, 2)) << c;
            EXPECT_EQ(at(c, 3, 0), at(c, 1, 0)) << c;
            EXPECT_EQ(at(c, 3, 4), at(c, 1, 2)) << c;
        }
        EXPECT_EQ(at(0, 0, 0), 255);
        EXPECT_EQ(at(1, 1, 0), 20);
    }
}

} // namespace
} // namespace glintwork
