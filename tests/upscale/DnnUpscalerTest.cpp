#include <chrono>
#include <thread>

#include <gtest/gtest.h>

#include <QDir>

#include "platform/CancellationToken.h"
#include "support/TestImages.h"
#include "support/TestSupport.h"
#include "upscale/DnnUpscaler.h"
#include "upscale/DnnUpscalerError.h"
#include "upscale/OnnxModelInfo.h"
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
    const struct {
        TestNetwork kind;
        int width, height;
    } cases[] = {{TestNetwork::nearest4xAnySize, 100, 80}, {TestNetwork::nearest4xFixed512, 100, 80},
                 {TestNetwork::nearest4xAnySize, 512, 512}, {TestNetwork::nearest4xRenamed, 5, 3}};
    for (const auto& c : cases) {
        SCOPED_TRACE(int(c.kind));
        const QString path = network(c.kind, QStringLiteral("net%1.onnx").arg(int(c.kind)));
        SKIP_WITHOUT_NETWORKS();
        DnnUpscaler upscaler(UpscaleModel::x4plus, path);
        ASSERT_TRUE(upscaler.isLoaded());
        const Image tile = makePatternImage(c.width, c.height);
        test::expectSamePixels(test::nearestUpscale(tile, 4), upscaler.upscale(tile, 4, {}));
    }
}

TEST_F(DnnUpscalerTest, CancellationGivesTheTileUpWhileThePassStillRuns) {
    const QString path = network(TestNetwork::slow4xAnySize, QStringLiteral("slow.onnx"));
    SKIP_WITHOUT_NETWORKS();
    DnnUpscaler upscaler(UpscaleModel::x4plus, path);
    ASSERT_TRUE(upscaler.isLoaded());
    CancellationToken token;
    upscaler.setCancellationToken(&token);
    const Image small = makePatternImage(64, 48);
    test::expectSamePixels(test::nearestUpscale(small, 4), upscaler.upscale(small, 4, {}));

    std::thread canceller([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        token.cancel();
    });
    int stillRunning = -1;
    try {
        (void)upscaler.upscale(makePatternImage(512, 512), 4, {});
        ADD_FAILURE() << "not cancelled";
    } catch (const CancelledError&) {
        stillRunning = DnnUpscaler::abandonedInferences();
    }
    canceller.join();
    // The error came before the pass over seven 64-channel layers was done.
    EXPECT_EQ(stillRunning, 1);
    for (int i = 0; i < 1200 && DnnUpscaler::abandonedInferences() > 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(DnnUpscaler::abandonedInferences(), 0);
    EXPECT_FALSE(upscaler.isLoaded()) << "the network is let go with the file it served";
}

TEST_F(DnnUpscalerTest, MissingOrBrokenNetworksFailWithTheModelsName) {
    QDir().mkpath(m_dir.filePath(QStringLiteral("empty/models")));
    const test::ResourceFolder resources(m_dir.filePath(QStringLiteral("empty")));
    const std::pair<UpscaleModel, const char*> cases[] = {
        {UpscaleModel::x4plus, "General 4x"}, {UpscaleModel::animeX4, "Anime / Illustration 4x"},
        {UpscaleModel::x2plus, "General 2x"}};
    for (const auto& [model, name] : cases) {
        DnnUpscaler upscaler(model);
        EXPECT_FALSE(upscaler.isLoaded());
        EXPECT_EQ(test::errorText<DnnUpscalerError>([&] { (void)upscaler.upscale(test::solidImage(4, 4, {}), 4, {}); }),
                  "AI upscale model (" + std::string(name) +
                      ") is not bundled in this build. Run ml-conversion/convert_realesrgan.py to produce it.");
    }
    const QString broken = m_dir.writeFile(QStringLiteral("broken.onnx"), QByteArray("\x08\x07garbage", 9));
    EXPECT_FALSE(DnnUpscaler(UpscaleModel::x4plus, broken).isLoaded());
    EXPECT_FALSE(OnnxModelInfo::parse(QByteArrayView("\xff\xff\xff", 3)));
}

TEST_F(DnnUpscalerTest, TwoTimesReducesTheFourTimesNetworkUntilItsOwnIsInstalled) {
    const test::ResourceFolder resources(m_dir.filePath(QStringLiteral("res")));
    const QString four = network(TestNetwork::nearest4xAnySize, QStringLiteral("res/models/RealESRGAN_x4plus.onnx"));
    SKIP_WITHOUT_NETWORKS();
    const Image solid = test::solidImage(50, 40, {30, 140, 250, 255});
    DnnUpscaler reduced(UpscaleModel::x2plus), fast(UpscaleModel::x4fast, four);
    EXPECT_TRUE(reduced.reducesFromFourX());
    for (DnnUpscaler* upscaler : {&reduced, &fast})
        EXPECT_EQ(upscaler->upscale(solid, 2, {}).pixels, test::solidImage(100, 80, {30, 140, 250, 255}).pixels);
    EXPECT_TRUE(DnnUpscaler::isAvailable(UpscaleModel::x2plus));
    EXPECT_FALSE(DnnUpscaler::isAvailable(UpscaleModel::animeX4)) << "the anime network has no stand-in";

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
    const Image result = upscaler.upscale(tile, 4, {});
    ASSERT_EQ(std::pair(result.width, result.height), std::pair(280, 520));
    EXPECT_EQ(result.pixels, expected.pixels);
    // The network is let go after each pass; the next tile reads it again.
    EXPECT_EQ(upscaler.upscale(tile, 4, {}).pixels, expected.pixels);
    EXPECT_NE(pixelAt(result, 100, 300), pixelAt(tile, 25, 75)) << "a network that changes nothing";
}

} // namespace
} // namespace glintwork
