#include <gtest/gtest.h>

#include <csignal>
#include <cstring>

#include <sys/resource.h>

#include <QDir>
#include <QFile>

#include "platform/CancellationToken.h"
#include "platform/Error.h"
#include "platform/ImageServices.h"
#include "support/TestImages.h"
#include "support/TestSupport.h"
#include "upscale/UpscalePipeline.h"
#include "TestNetworks.h"

namespace glintwork {
namespace {

// Upscales with the nearest-neighbour stand-in for the general 4x network, so every output
// pixel is known.
class UpscalePipelineTest : public ::testing::Test {
protected:
    void SetUp() override {
        QDir().mkpath(m_dir.filePath(QStringLiteral("Resources/models")));
        QString why;
        if (!test::writeTestNetwork(test::TestNetwork::nearest4xAnySize,
                                    m_dir.filePath(QStringLiteral("Resources/models/RealESRGAN_x4plus.onnx")), &why))
            GTEST_SKIP() << why.toStdString();
    }
    QString source(const QString& name, const Image& image) {
        ImageServices::writePNG(image, m_dir.filePath(name));
        return m_dir.filePath(name);
    }
    UpscaleRequest request(const QString& input, const QString& output,
                           UpscaleOutputFormat format = UpscaleOutputFormat::png) const {
        return {QUrl::fromLocalFile(input), QUrl::fromLocalFile(m_dir.filePath(output)), format, UpscaleModel::x4plus, 4, {}};
    }
    QUrl upscale(const UpscaleRequest& request, const std::function<void(double)>& progress = [](double) {}) {
        return upscaleFile(request, AutoTiler(), m_token, progress);
    }
    std::string failure(const UpscaleRequest& request) {
        return test::errorText([&] { (void)upscale(request); });
    }
    QStringList entries(const QString& folder) const {
        return QDir(m_dir.filePath(folder)).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    }

    test::ScratchDir m_dir;
    test::ResourceFolder m_resources{m_dir.filePath(QStringLiteral("Resources"))};
    CancellationToken m_token;
};

TEST_F(UpscalePipelineTest, ProgressRisesTileByTileAndCancellingStopsAtTheNextTile) {
    const Image image = test::makePatternImage(600, 520); // 2 × 2 tiles
    const QString cat = source(QStringLiteral("cat.png"), image);
    std::vector<double> seen;
    const auto record = [&](double value) { seen.push_back(value); };
    const QUrl written = upscale(request(cat, QStringLiteral("cat-4x.png")), record);
    EXPECT_EQ(seen, (std::vector<double>{0.0, 0.25, 0.5, 0.75, 1.0}));
    test::expectSamePixels(test::nearestUpscale(image, 4),
                           ImageServices::toRGBA8(ImageServices::decode(written.toLocalFile())));

    seen.clear();
    const auto cancelPastAQuarter = [&](double value) {
        record(value);
        if (value > 0.3)
            m_token.cancel();
    };
    EXPECT_THROW((void)upscale(request(cat, QStringLiteral("again.png")), cancelPastAQuarter), CancelledError);
    EXPECT_EQ(seen, (std::vector<double>{0.0, 0.25, 0.5}));
    EXPECT_EQ(entries(QString()), (QStringList{QStringLiteral("cat-4x.png"), QStringLiteral("cat.png")}));
}

TEST_F(UpscalePipelineTest, JpegOutputIsUprightWithoutAlphaOrMetadataInTheSameColours) {
    // Stored 40 × 20 with orientation 6 (shown turned a quarter clockwise), left quarter
    // white: 20 × 40 upright with the white on top.
    const int red[] = {200, 60, 20};
    Image stored = test::solidImage(40, 20, {});
    test::fill(stored, [&](int x, int, int c) { return x < 10 || c == 3 ? 255 : red[c]; });
    const QString phone = m_dir.filePath(QStringLiteral("phone.jpg"));
    ImageServices::writeJPEG(stored, phone, 1.0, WriteMetadata{6, 300, 300, {}});
    const QString out = upscale(request(phone, QStringLiteral("up.jpg"), UpscaleOutputFormat::jpeg)).toLocalFile();
    const auto properties = ImageServices::readProperties(out);
    ASSERT_TRUE(properties);
    EXPECT_EQ(std::tuple(properties->pixelWidth, properties->pixelHeight, properties->hasAlpha), std::tuple(80, 160, false));
    EXPECT_FALSE(properties->orientation.has_value());
    EXPECT_NE(properties->dpiWidth.value_or(72), 300);
    EXPECT_TRUE(test::contents(out).startsWith("\xff\xd8\xff"));
    const Image pixels = ImageServices::toRGBA8(ImageServices::decode(out));
    for (int c = 0; c < 3; ++c) {
        EXPECT_GT(test::pixelAt(pixels, 40, 16)[std::size_t(c)], 245);
        EXPECT_NEAR(test::pixelAt(pixels, 40, 130)[std::size_t(c)], red[c], 4);
    }
}

// Transparency survives: the alpha is enlarged beside the colours and written with them in
// PNG; JPEG, which has none, shows the transparent part as white.
TEST_F(UpscalePipelineTest, TransparencyIsKeptInPngAndWhiteInJpeg) {
    // Opaque orange on the left, a half-covered column, transparent (hiding black) on the right.
    Image image = test::solidImage(60, 40, {});
    test::fill(image, [](int x, int, int c) {
        const int colour[4] = {200, 120, 40, x < 30 ? 255 : x == 30 ? 128 : 0};
        return x > 30 && c < 3 ? 0 : colour[c];
    });
    const QString cutout = source(QStringLiteral("cutout.png"), image);
    const QString png = upscale(request(cutout, QStringLiteral("up.png"))).toLocalFile();
    ASSERT_TRUE(ImageServices::readProperties(png)->hasAlpha);
    const Image pixels = ImageServices::toRGBA8(ImageServices::decode(png));
    ASSERT_EQ(std::pair(pixels.width, pixels.height), std::pair(240, 160));
    EXPECT_EQ(test::pixelAt(pixels, 40, 80), (Pixel{200, 120, 40, 255}));
    EXPECT_EQ(test::pixelAt(pixels, 200, 80)[3], 0);
    // The soft column keeps its colour and about half its cover.
    const Pixel edge = test::pixelAt(pixels, 122, 80);
    EXPECT_EQ((std::array<int, 3>{edge[0], edge[1], edge[2]}), (std::array<int, 3>{200, 120, 40}));
    EXPECT_NEAR(edge[3], 128, 24);

    const QString jpeg =
        upscale(request(cutout, QStringLiteral("up.jpg"), UpscaleOutputFormat::jpeg)).toLocalFile();
    EXPECT_FALSE(ImageServices::readProperties(jpeg)->hasAlpha);
    const Image flat = ImageServices::toRGBA8(ImageServices::decode(jpeg));
    for (int c = 0; c < 3; ++c) {
        EXPECT_GT(test::pixelAt(flat, 200, 80)[std::size_t(c)], 250) << "transparent shows white";
        EXPECT_NEAR(test::pixelAt(flat, 40, 80)[std::size_t(c)], image.pixels[std::size_t(c)], 4);
    }
}

TEST_F(UpscalePipelineTest, FailuresCarryTheirOwnTextsAndLeaveNothing) {
    const QString pattern = source(QStringLiteral("pattern.png"), test::makePatternImage(64, 64));
    const QString broken = m_dir.writeFile(QStringLiteral("broken.png"), QByteArray("not a png"));
    // 4100 × 4100 at 4x is just over the limit; grey keeps the file small.
    const QString large =
        source(QStringLiteral("large.png"), Image::make(4100, 4100, 8, AlphaInfo::none, ColorSpace::deviceGray(), 1));
    EXPECT_EQ(failure(request(broken, QStringLiteral("b.png"))), "Could not read source image at broken.png.");
    EXPECT_EQ(failure(request(large, QStringLiteral("l.png"))),
              "The upscaled image would be 16400 × 16400 pixels, more than the 268 megapixels this program holds in "
              "memory.");
    // A file size limit fails the write the way a full disk does, part way through.
    rlimit previous{};
    getrlimit(RLIMIT_FSIZE, &previous);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    const rlimit small{512, previous.rlim_max};
    setrlimit(RLIMIT_FSIZE, &small);
    const std::string message = failure(request(pattern, QStringLiteral("p.png")));
    setrlimit(RLIMIT_FSIZE, &previous);
    std::signal(SIGXFSZ, previousHandler);
    EXPECT_EQ(message, "Failed to write upscaled image to p.png. " + std::string(std::strerror(EFBIG)));
    EXPECT_EQ(entries(QString()), (QStringList{QStringLiteral("broken.png"), QStringLiteral("large.png"),
                                               QStringLiteral("pattern.png")}));
}

TEST_F(UpscalePipelineTest, NameTakenWhileUpscalingIsNeverReplaced) {
    QDir().mkpath(m_dir.filePath(QStringLiteral("out")));
    UpscaleRequest promised = request(source(QStringLiteral("p.png"), test::makePatternImage(20, 10)),
                                      QStringLiteral("out/p.png"));
    // p-1.png is promised to another file of the run.
    promised.reserved = {QUrl::fromLocalFile(m_dir.filePath(QStringLiteral("out/p-1.png")))};
    const QUrl written = upscale(promised, [&](double value) {
        if (value == 1.0) // another program takes the name while the file is being written
            (void)QFile(promised.outputURL.toLocalFile()).open(QIODevice::WriteOnly);
    });
    EXPECT_EQ(written.fileName(), QStringLiteral("p-2.png"));
    EXPECT_EQ(ImageServices::readProperties(written.toLocalFile())->pixelWidth, 80);
    EXPECT_EQ(entries(QStringLiteral("out")), (QStringList{QStringLiteral("p-2.png"), QStringLiteral("p.png")}));
    EXPECT_EQ(QFileInfo(promised.outputURL.toLocalFile()).size(), 0);
}

} // namespace
} // namespace glintwork
