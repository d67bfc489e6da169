#include <chrono>
#include <thread>

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include "platform/CancellationToken.h"
#include "support/TestSupport.h"
#include "upscale/DnnUpscaler.h"
#include "upscale/DnnUpscalerError.h"
#include "upscale/OnnxModelInfo.h"
#include "TestNetworks.h"
#include "UpscaleTestImages.h"

namespace glintwork {
namespace {

using test::TestNetwork;

// Points the resource lookup at a folder for the lifetime of the object.
class ResourceFolder {
public:
    explicit ResourceFolder(const QString& path) : m_previous(qgetenv("GLINTWORK_RESOURCES")) {
        QDir().mkpath(path + QStringLiteral("/models"));
        qputenv("GLINTWORK_RESOURCES", path.toUtf8());
    }
    ~ResourceFolder() { qputenv("GLINTWORK_RESOURCES", m_previous); }
    ResourceFolder(const ResourceFolder&) = delete;
    ResourceFolder& operator=(const ResourceFolder&) = delete;

private:
    QByteArray m_previous;
};

class DnnUpscalerTest : public ::testing::Test {
protected:
    QString network(TestNetwork kind, const QString& name) {
        const QString path = m_dir.filePath(name);
        QDir().mkpath(QFileInfo(path).absolutePath());
        QString why;
        if (!test::writeTestNetwork(kind, path, &why))
            return {};
        return path;
    }

    test::ScratchDir m_dir;
};

#define REQUIRE_NETWORK(path)                                                                     \
    if ((path).isEmpty())                                                                         \
    GTEST_SKIP() << "python3-onnx is needed to build the test network"

std::string describe(const std::function<void()>& run) {
    try {
        run();
    } catch (const DescribedError& error) {
        return error.description().toStdString();
    }
    return "(no error)";
}

TEST_F(DnnUpscalerTest, SmallTileComesBackAsTheTileTimesTheFactor) {
    for (const auto kind : {TestNetwork::nearest4xAnySize, TestNetwork::nearest4xFixed512}) {
        const QString path = network(kind, QStringLiteral("net%1.onnx").arg(int(kind)));
        REQUIRE_NETWORK(path);
        DnnUpscaler upscaler(UpscaleModel::x4plus, path);
        ASSERT_TRUE(upscaler.isLoaded());
        const Image tile = test::makePatternImage(100, 80);
        const Image result = upscaler.upscale(tile, 4, {});
        ASSERT_EQ(result.width, 400);
        ASSERT_EQ(result.height, 320);
        const Image expected = test::nearestUpscale(tile, 4);
        for (int y = 0; y < 320; ++y)
            for (int x = 0; x < 400; ++x)
                ASSERT_EQ(test::pixelAt(result, x, y), test::pixelAt(expected, x, y))
                    << "network " << int(kind) << " at " << x << "," << y;
    }
}

TEST_F(DnnUpscalerTest, FullSizeTileUsesTheWholeCanvas) {
    const QString path = network(TestNetwork::nearest4xAnySize, QStringLiteral("any.onnx"));
    REQUIRE_NETWORK(path);
    DnnUpscaler upscaler(UpscaleModel::x4plus, path);
    const Image tile = test::makePatternImage(512, 512);
    const Image result = upscaler.upscale(tile, 4, {});
    ASSERT_EQ(result.width, 2048);
    EXPECT_EQ(test::pixelAt(result, 2047, 2047), test::pixelAt(tile, 511, 511));
    EXPECT_EQ(test::pixelAt(result, 1001, 13), test::pixelAt(tile, 250, 3));
}

TEST_F(DnnUpscalerTest, FeatureNamesComeFromTheNetwork) {
    const QString renamed = network(TestNetwork::nearest4xRenamed, QStringLiteral("renamed.onnx"));
    REQUIRE_NETWORK(renamed);
    DnnUpscaler upscaler(UpscaleModel::animeX4, renamed);
    EXPECT_EQ(upscaler.inputName(), QStringLiteral("pixels"));
    EXPECT_EQ(upscaler.outputName(), QStringLiteral("sr_out"));
    const Image result = upscaler.upscale(test::solidImage(5, 3, {9, 8, 7, 255}), 4, {});
    EXPECT_EQ(result.width, 20);
    EXPECT_EQ(test::pixelAt(result, 19, 11), (Pixel{9, 8, 7, 255}));

    const auto info = OnnxModelInfo::read(network(TestNetwork::nearest4xFixed512, QStringLiteral("f.onnx")));
    ASSERT_TRUE(info);
    EXPECT_EQ(info->inputNames, std::vector<QString>{QStringLiteral("x")});
    EXPECT_EQ(info->outputNames, std::vector<QString>{QStringLiteral("output")});
    EXPECT_EQ(info->firstInputShape, (std::vector<std::int64_t>{1, 3, 512, 512}));
    const auto open = OnnxModelInfo::read(network(TestNetwork::nearest4xAnySize, QStringLiteral("a.onnx")));
    ASSERT_TRUE(open);
    EXPECT_EQ(open->firstInputShape, (std::vector<std::int64_t>{1, 3, -1, -1}));
}

// Waits until every forward pass given up by earlier steps has finished.
void waitForAbandonedPasses() {
    for (int i = 0; i < 1200 && DnnUpscaler::abandonedInferences() > 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
}

TEST_F(DnnUpscalerTest, CancellationGivesTheTileUpWhileThePassStillRuns) {
    const QString path = network(TestNetwork::slow4xAnySize, QStringLiteral("slow.onnx"));
    REQUIRE_NETWORK(path);
    DnnUpscaler upscaler(UpscaleModel::x4plus, path);
    ASSERT_TRUE(upscaler.isLoaded());
    CancellationToken token;
    upscaler.setCancellationToken(&token);
    const Image tile = test::makePatternImage(512, 512);

    // Not cancelled: the same pixels as without a token.
    const Image small = test::makePatternImage(64, 48);
    const Image result = upscaler.upscale(small, 4, {});
    const Image expected = test::nearestUpscale(small, 4);
    ASSERT_EQ(result.width, expected.width);
    ASSERT_EQ(result.height, expected.height);
    for (int y = 0; y < result.height; ++y)
        for (int x = 0; x < result.width; ++x)
            ASSERT_EQ(test::pixelAt(result, x, y), test::pixelAt(expected, x, y)) << x << "," << y;

    std::thread canceller([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        token.cancel();
    });
    int stillRunning = -1;
    bool cancelled = false;
    try {
        (void)upscaler.upscale(tile, 4, {});
    } catch (const CancelledError&) {
        cancelled = true;
        stillRunning = DnnUpscaler::abandonedInferences();
    }
    canceller.join();
    EXPECT_TRUE(cancelled);
    // The error came before the pass over seven 64-channel layers was done.
    EXPECT_EQ(stillRunning, 1);
    waitForAbandonedPasses();
    EXPECT_EQ(DnnUpscaler::abandonedInferences(), 0);
    // The upscaler let go of its network; the file it served is over.
    EXPECT_FALSE(upscaler.isLoaded());
}

TEST_F(DnnUpscalerTest, MissingNetworksFailWithTheModelsName) {
    ResourceFolder resources(m_dir.filePath(QStringLiteral("empty")));
    struct Case {
        UpscaleModel model;
        const char* expected;
    };
    for (const auto& c : {Case{UpscaleModel::x4plus,
                               "AI upscale model (General 4x) is not bundled in this build. Run "
                               "ml-conversion/convert_realesrgan.py to produce it."},
                          Case{UpscaleModel::animeX4,
                               "AI upscale model (Anime / Illustration 4x) is not bundled in this "
                               "build. Run ml-conversion/convert_realesrgan.py to produce it."},
                          Case{UpscaleModel::x2plus,
                               "AI upscale model (General 2x) is not bundled in this build. Run "
                               "ml-conversion/convert_realesrgan.py to produce it."}}) {
        DnnUpscaler upscaler(c.model);
        EXPECT_FALSE(upscaler.isLoaded());
        EXPECT_EQ(describe([&] { (void)upscaler.upscale(test::solidImage(4, 4, {}), 4, {}); }),
                  c.expected);
    }
}

TEST_F(DnnUpscalerTest, FileThatIsNotANetworkCountsAsMissing) {
    const QString path = m_dir.writeFile(QStringLiteral("broken.onnx"), QByteArray("\x08\x07garbage", 9));
    DnnUpscaler upscaler(UpscaleModel::x4plus, path);
    EXPECT_FALSE(upscaler.isLoaded());
    EXPECT_FALSE(OnnxModelInfo::parse(QByteArrayView("\xff\xff\xff", 3)));
}

TEST_F(DnnUpscalerTest, TwoTimesFallsBackToTheFourTimesNetworkReduced) {
    const QString folder = m_dir.filePath(QStringLiteral("res"));
    ResourceFolder resources(folder);
    const QString path = network(TestNetwork::nearest4xAnySize, QStringLiteral("res/models/RealESRGAN_x4plus.onnx"));
    REQUIRE_NETWORK(path);

    DnnUpscaler twoX(UpscaleModel::x2plus);
    ASSERT_TRUE(twoX.isLoaded());
    EXPECT_TRUE(twoX.reducesFromFourX());
    EXPECT_TRUE(DnnUpscaler::isAvailable(UpscaleModel::x2plus));
    const Image result = twoX.upscale(test::solidImage(50, 40, {30, 140, 250, 255}), 2, {});
    ASSERT_EQ(result.width, 100);
    ASSERT_EQ(result.height, 80);
    for (int y = 0; y < 80; y += 9)
        for (int x = 0; x < 100; x += 7)
            ASSERT_EQ(test::pixelAt(result, x, y), (Pixel{30, 140, 250, 255}));

    // 2x with the fast network is reduced the same way.
    const Image fast = DnnUpscaler(UpscaleModel::x4fast, path).upscale(test::solidImage(50, 40, {30, 140, 250, 255}), 2, {});
    EXPECT_EQ(std::pair(fast.width, fast.height), std::pair(100, 80));
    EXPECT_EQ(test::pixelAt(fast, 60, 50), (Pixel{30, 140, 250, 255}));

    // The anime network has no stand-in.
    EXPECT_FALSE(DnnUpscaler::isAvailable(UpscaleModel::animeX4));
    DnnUpscaler anime(UpscaleModel::animeX4);
    EXPECT_FALSE(anime.isLoaded());
}

TEST_F(DnnUpscalerTest, TailInStripsGivesTheWholeNetworksResult) {
    const QString strips = network(TestNetwork::random4xWithTail, QStringLiteral("strips.onnx"));
    const QString whole = network(TestNetwork::random4xWhole, QStringLiteral("whole.onnx"));
    REQUIRE_NETWORK(strips);
    // Tall enough for several strips, the last one short.
    const Image tile = test::makePatternImage(70, 130);
    const Image expected = DnnUpscaler(UpscaleModel::x4plus, whole).upscale(tile, 4, {});
    DnnUpscaler upscaler(UpscaleModel::x4plus, strips);
    const Image result = upscaler.upscale(tile, 4, {});
    ASSERT_EQ(result.width, 280);
    ASSERT_EQ(result.height, 520);
    EXPECT_EQ(result.pixels, expected.pixels);
    // The network is let go after each pass; the next tile reads it again.
    EXPECT_EQ(upscaler.upscale(tile, 4, {}).pixels, expected.pixels);
    // Not a trivial network: it changes the picture.
    EXPECT_NE(test::pixelAt(result, 100, 300), test::pixelAt(tile, 25, 75));
}

TEST_F(DnnUpscalerTest, TwoTimesNetworkIsPreferredWhenInstalled) {
    const QString folder = m_dir.filePath(QStringLiteral("res"));
    ResourceFolder resources(folder);
    const QString four = network(TestNetwork::nearest4xAnySize, QStringLiteral("res/models/RealESRGAN_x4plus.onnx"));
    const QString two = network(TestNetwork::doubling2xAnySize, QStringLiteral("res/models/RealESRGAN_x2plus.onnx"));
    REQUIRE_NETWORK(two);
    DnnUpscaler upscaler(UpscaleModel::x2plus);
    EXPECT_FALSE(upscaler.reducesFromFourX());
    const Image tile = test::makePatternImage(30, 20);
    const Image result = upscaler.upscale(tile, 2, {});
    ASSERT_EQ(result.width, 60);
    EXPECT_EQ(test::pixelAt(result, 59, 39), test::pixelAt(tile, 29, 19));
}

} // namespace
} // namespace glintwork
