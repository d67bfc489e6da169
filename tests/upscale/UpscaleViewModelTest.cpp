#include <gtest/gtest.h>

#include <csignal>

#include <sys/resource.h>

#include <QDir>
#include <QFile>
#include <QSignalSpy>

#include "platform/CancellationToken.h"
#include "platform/ImageServices.h"
#include "platform/PreferenceStore.h"
#include "support/TestSupport.h"
#include "upscale/UpscaleViewModel.h"
#include "TestNetworks.h"
#include "UpscaleTestImages.h"

namespace glintwork {
namespace {

class UpscaleViewModelTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_previousResources = qgetenv("GLINTWORK_RESOURCES");
        m_resources = m_dir.filePath(QStringLiteral("Resources"));
        QDir().mkpath(m_resources + QStringLiteral("/models"));
        qputenv("GLINTWORK_RESOURCES", m_resources.toUtf8());
        m_model.setConcurrencyLimit(1);
    }
    void TearDown() override { qputenv("GLINTWORK_RESOURCES", m_previousResources); }

    // The nearest-neighbour stand-in as the general 4x network; false when it cannot be made.
    bool installNetwork() {
        QString why;
        return test::writeTestNetwork(test::TestNetwork::nearest4xAnySize,
                                      m_resources + QStringLiteral("/models/RealESRGAN_x4plus.onnx"), &why);
    }

    QString writeSource(const QString& name, const Image& image, const WriteMetadata& metadata = {}) {
        const QString path = m_dir.filePath(name);
        QDir().mkpath(QFileInfo(path).absolutePath());
        if (name.endsWith(QStringLiteral(".jpg")))
            ImageServices::writeJPEG(image, path, 1.0, metadata);
        else
            ImageServices::writePNG(image, path, metadata);
        return path;
    }

    void useScale(int scale, UpscaleOutputFormat format = UpscaleOutputFormat::png) {
        UpscaleSettings settings;
        settings.scale = scale;
        settings.outputFormat = format;
        m_model.applySettings(settings);
    }

    bool run() {
        QSignalSpy finished(&m_model, &UpscaleViewModel::runFinished);
        m_model.start();
        return finished.count() > 0 || finished.wait(120000);
    }

    test::ScratchDir m_dir;
    QByteArray m_previousResources;
    QString m_resources;
    UpscaleViewModel m_model;
};

#define REQUIRE_NETWORK()                                                                         \
    if (!installNetwork())                                                                        \
    GTEST_SKIP() << "python3-onnx is needed to build the test network"

// The files of a folder, hidden ones included.
QStringList entries(const QString& folder) {
    return QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name);
}

TEST_F(UpscaleViewModelTest, ProgressRisesTileByTileAndTheOutputIsTheUpscaledSource) {
    REQUIRE_NETWORK();
    const Image source = test::makePatternImage(600, 520); // 2 × 2 tiles
    m_model.addFiles({QUrl::fromLocalFile(writeSource(QStringLiteral("cat.png"), source))});
    useScale(4);
    std::vector<double> seen;
    const auto& item = m_model.items().front();
    QObject::connect(item.get(), &ImageItem::progressChanged, [&] { seen.push_back(item->progress()); });
    item->setProgress(0.5); // so the reset to 0 is visible too
    seen.clear();
    ASSERT_TRUE(run());

    ASSERT_EQ(item->status(), ConversionStatus::completed());
    EXPECT_EQ(seen, (std::vector<double>{0.0, 0.25, 0.5, 0.75, 1.0}));
    ASSERT_TRUE(item->outputURL());
    EXPECT_EQ(item->outputURL()->fileName(), QStringLiteral("cat-upscaled-4x.png"));
    const Image written = ImageServices::toRGBA8(ImageServices::decode(item->outputURL()->toLocalFile()));
    ASSERT_EQ(written.width, 2400);
    ASSERT_EQ(written.height, 2080);
    for (int y = 0; y < written.height; y += 11)
        for (int x = 0; x < written.width; x += 5)
            ASSERT_EQ(test::pixelAt(written, x, y), test::pixelAt(source, x / 4, y / 4)) << x << "," << y;
    const auto properties = ImageServices::readProperties(item->outputURL()->toLocalFile());
    ASSERT_TRUE(properties);
    EXPECT_TRUE(properties->hasAlpha);
    EXPECT_EQ(*item->compressedSize(), QFileInfo(item->outputURL()->toLocalFile()).size());
}

TEST_F(UpscaleViewModelTest, JpegOutputHasNoAlphaNoMetadataAndTheSameColours) {
    REQUIRE_NETWORK();
    const Image source = test::solidImage(40, 30, {200, 60, 20, 255});
    WriteMetadata metadata;
    metadata.dpiWidth = 300;
    metadata.dpiHeight = 300;
    m_model.addFiles({QUrl::fromLocalFile(writeSource(QStringLiteral("red.png"), source, metadata))});
    useScale(4, UpscaleOutputFormat::jpeg);
    ASSERT_TRUE(run());
    const auto& item = m_model.items().front();
    ASSERT_EQ(item->status(), ConversionStatus::completed());
    EXPECT_EQ(item->outputURL()->fileName(), QStringLiteral("red-upscaled-4x.jpg"));
    const QString out = item->outputURL()->toLocalFile();
    const auto properties = ImageServices::readProperties(out);
    ASSERT_TRUE(properties);
    EXPECT_EQ(properties->pixelWidth, 160);
    EXPECT_FALSE(properties->hasAlpha);
    EXPECT_FALSE(properties->orientation.has_value());
    EXPECT_NE(properties->dpiWidth.value_or(72), 300);
    QFile file(out);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.read(3).startsWith("\xff\xd8\xff"));
    const Image pixels = ImageServices::toRGBA8(ImageServices::decode(out));
    const Pixel middle = test::pixelAt(pixels, 80, 60);
    for (int c = 0; c < 3; ++c)
        EXPECT_NEAR(middle[std::size_t(c)], source.pixels[std::size_t(c)], 3);
}

TEST_F(UpscaleViewModelTest, RotatedPhotoComesOutUpright) {
    REQUIRE_NETWORK();
    // Stored 40 × 20 with orientation 6 (shown turned a quarter clockwise): 20 × 40 upright.
    Image stored = test::solidImage(40, 20, {0, 0, 0, 255});
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 10; ++x)
            for (int c = 0; c < 3; ++c)
                stored.row(y)[x * 4 + c] = 255; // left quarter white
    WriteMetadata metadata;
    metadata.orientation = 6;
    m_model.addFiles({QUrl::fromLocalFile(writeSource(QStringLiteral("phone.jpg"), stored, metadata))});
    useScale(2);
    ASSERT_TRUE(run());
    const auto& item = m_model.items().front();
    ASSERT_EQ(item->status(), ConversionStatus::completed());
    const Image written = ImageServices::toRGBA8(ImageServices::decode(item->outputURL()->toLocalFile()));
    EXPECT_EQ(written.width, 40);
    EXPECT_EQ(written.height, 80);
    // The stored left quarter becomes the top quarter.
    EXPECT_GT(test::pixelAt(written, 20, 4)[0], 200);
    EXPECT_LT(test::pixelAt(written, 20, 75)[0], 50);
    EXPECT_FALSE(ImageServices::readProperties(item->outputURL()->toLocalFile())->orientation);
}

TEST_F(UpscaleViewModelTest, MissingNetworkFailsEveryFileWithTheModelsName) {
    m_model.addFiles({QUrl::fromLocalFile(writeSource(QStringLiteral("a.png"), test::solidImage(8, 8, {}))),
                      QUrl::fromLocalFile(writeSource(QStringLiteral("b.png"), test::solidImage(8, 8, {})))});
    useScale(4);
    ASSERT_TRUE(run());
    const QString expected = QStringLiteral(
        "AI upscale model (General 4x) is not bundled in this build. Run "
        "ml-conversion/convert_realesrgan.py to produce it.");
    for (const auto& item : m_model.items()) {
        EXPECT_EQ(item->status(), ConversionStatus::error(expected));
        EXPECT_EQ(item->errorMessage(), expected);
    }
    EXPECT_FALSE(QFileInfo::exists(m_dir.filePath(QStringLiteral("a-upscaled-4x.png"))));
}

TEST_F(UpscaleViewModelTest, UnreadableAndOversizedSourcesFailWithTheirOwnText) {
    REQUIRE_NETWORK();
    const QString broken = m_dir.writeFile(QStringLiteral("broken.png"), QByteArray("not a png"));
    // 4100 × 4100 at 4x is just over the limit; grey keeps the file small.
    const Image huge = Image::make(4100, 4100, 8, AlphaInfo::none, ColorSpace::deviceGray(), 1);
    const QString large = writeSource(QStringLiteral("large.png"), huge);
    m_model.addFiles({QUrl::fromLocalFile(broken), QUrl::fromLocalFile(large)});
    useScale(4);
    ASSERT_TRUE(run());
    EXPECT_EQ(m_model.items()[0]->errorMessage(),
              QStringLiteral("Could not read source image at broken.png."));
    EXPECT_EQ(m_model.items()[1]->errorMessage(),
              QStringLiteral("The upscaled image would be 16400 × 16400 pixels, more than the 268 "
                             "megapixels this program holds in memory."));
}

TEST_F(UpscaleViewModelTest, CancellingMidFileStopsItAndEverythingWaiting) {
    REQUIRE_NETWORK();
    // 16 tiles of the 4x network, each reduced to 2x: far slower than the cancel arrives.
    const QString big = writeSource(QStringLiteral("big.png"), test::makePatternImage(1500, 1500));
    const QString next = writeSource(QStringLiteral("next.png"), test::solidImage(8, 8, {}));
    m_model.addFiles({QUrl::fromLocalFile(big), QUrl::fromLocalFile(next)});
    useScale(2);
    const auto& first = m_model.items().front();
    QObject::connect(first.get(), &ImageItem::progressChanged, &m_model, [&] {
        if (first->progress() > 0)
            m_model.cancel();
    });
    QSignalSpy announcements(&m_model, &UpscaleViewModel::announcement);
    QSignalSpy finished(&m_model, &UpscaleViewModel::runFinished);
    m_model.start();
    ASSERT_TRUE(finished.wait(120000));
    EXPECT_TRUE(finished.front().front().toBool());
    EXPECT_EQ(first->status(), ConversionStatus::cancelled());
    EXPECT_LT(first->progress(), 1.0);
    EXPECT_EQ(m_model.items()[1]->status(), ConversionStatus::cancelled());
    EXPECT_FALSE(QFileInfo::exists(m_dir.filePath(QStringLiteral("big-upscaled-2x.png"))));
    ASSERT_EQ(announcements.count(), 1);
    EXPECT_EQ(announcements.front().front().toString(), QStringLiteral("Cancelling upscaling"));
    EXPECT_FALSE(m_model.isRunning());
    EXPECT_FALSE(m_model.isCancelling());
}

TEST_F(UpscaleViewModelTest, PipelineStopsAtTheNextTileOnceCancelled) {
    REQUIRE_NETWORK();
    const QString path = writeSource(QStringLiteral("p.png"), test::makePatternImage(1000, 600));
    CancellationToken token;
    std::vector<double> seen;
    const UpscaleRequest request{QUrl::fromLocalFile(path),
                                 QUrl::fromLocalFile(m_dir.filePath(QStringLiteral("out.png"))),
                                 UpscaleOutputFormat::png, UpscaleModel::x4plus, 4, {}};
    EXPECT_THROW(upscaleFile(request, AutoTiler(), token,
                             [&](double value) {
                                 seen.push_back(value);
                                 if (value > 0.3)
                                     token.cancel();
                             }),
                 CancelledError);
    EXPECT_EQ(seen, (std::vector<double>{0.0, 1.0 / 6, 2.0 / 6}));
    EXPECT_EQ(entries(m_dir.filePath(QString())), QStringList{QStringLiteral("p.png")});
}

TEST_F(UpscaleViewModelTest, NameTakenWhileUpscalingIsNeverReplaced) {
    REQUIRE_NETWORK();
    const QString source = writeSource(QStringLiteral("in/p.png"), test::makePatternImage(20, 10));
    const QString folder = m_dir.filePath(QStringLiteral("out"));
    QDir().mkpath(folder);
    const QString taken = folder + QStringLiteral("/p.png");
    // p-1.png is promised to another file of the run.
    const UpscaleRequest request{QUrl::fromLocalFile(source), QUrl::fromLocalFile(taken),
                                 UpscaleOutputFormat::png, UpscaleModel::x4plus, 4,
                                 {QUrl::fromLocalFile(folder + QStringLiteral("/p-1.png"))}};
    CancellationToken token;
    const QUrl written = upscaleFile(request, AutoTiler(), token, [&](double value) {
        if (value == 1.0) { // another program takes the name while the file is being written
            QFile file(taken);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        }
    });
    EXPECT_EQ(written.fileName(), QStringLiteral("p-2.png"));
    EXPECT_EQ(QFileInfo(taken).size(), 0);
    EXPECT_EQ(ImageServices::readProperties(written.toLocalFile())->pixelWidth, 80);
    EXPECT_EQ(entries(folder), (QStringList{QStringLiteral("p-2.png"), QStringLiteral("p.png")}));
}

TEST_F(UpscaleViewModelTest, FailedWriteReportsWhyAndLeavesNothing) {
    REQUIRE_NETWORK();
    const QString source = writeSource(QStringLiteral("in/p.png"), test::makePatternImage(64, 64));
    const QString folder = m_dir.filePath(QStringLiteral("out"));
    QDir().mkpath(folder);
    const UpscaleRequest request{QUrl::fromLocalFile(source), QUrl::fromLocalFile(folder + QStringLiteral("/p.png")),
                                 UpscaleOutputFormat::png, UpscaleModel::x4plus, 4, {}};
    // A file size limit fails the write the way a full disk does, part way through.
    rlimit previous{};
    getrlimit(RLIMIT_FSIZE, &previous);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = previous;
    small.rlim_cur = 512;
    setrlimit(RLIMIT_FSIZE, &small);
    CancellationToken token;
    std::string message;
    try {
        (void)upscaleFile(request, AutoTiler(), token, [](double) {});
    } catch (const DescribedError& error) {
        message = error.description().toStdString();
    }
    setrlimit(RLIMIT_FSIZE, &previous);
    std::signal(SIGXFSZ, previousHandler);
    EXPECT_EQ(message, "Failed to write upscaled image to p.png. " + std::string(std::strerror(EFBIG)));
    EXPECT_EQ(entries(folder), QStringList());
}

TEST_F(UpscaleViewModelTest, SameStemFromTwoFoldersGetsTwoNames) {
    REQUIRE_NETWORK();
    const QString shared = m_dir.filePath(QStringLiteral("out"));
    m_model.setFixedOutputDirectory(QUrl::fromLocalFile(shared));
    m_model.setConcurrencyLimit(2);
    m_model.addFiles({QUrl::fromLocalFile(writeSource(QStringLiteral("a/cat.png"), test::solidImage(6, 6, {1, 2, 3, 255}))),
                      QUrl::fromLocalFile(writeSource(QStringLiteral("b/cat.png"), test::solidImage(6, 6, {4, 5, 6, 255})))});
    ASSERT_TRUE(run()); // default settings: 2x, made by the 4x network here
    QStringList names;
    for (const auto& item : m_model.items()) {
        ASSERT_EQ(item->status(), ConversionStatus::completed());
        names << item->outputURL()->fileName();
    }
    EXPECT_EQ(names, (QStringList{QStringLiteral("cat-upscaled-2x.png"), QStringLiteral("cat-upscaled-2x-1.png")}));
    EXPECT_EQ(m_model.outputFolderToOpen(), QUrl::fromLocalFile(shared));
    EXPECT_FALSE(m_model.canStart()); // everything is completed
}

TEST_F(UpscaleViewModelTest, AnimeForcesFourTimesAndOnlyTwoOrFourAreAccepted) {
    m_model.updateScale(2);
    m_model.updateScale(3);
    EXPECT_EQ(m_model.settings().scale, 2);
    m_model.updateStyle(UpscaleStyle::anime);
    EXPECT_EQ(m_model.settings().scale, 4);
    PreferenceStore store;
    EXPECT_EQ(store.integer(QStringLiteral("glintwork.upscale.scale"), 0), 4);
    EXPECT_EQ(store.string(QStringLiteral("glintwork.upscale.style"), {}), QStringLiteral("anime"));
    m_model.updateStyle(UpscaleStyle::generalPhoto);
    EXPECT_EQ(m_model.settings().scale, 4);
    EXPECT_EQ(m_model.concurrencyLimit(), 1);
}

TEST(UpscaleConcurrencyTest, SecondFileAtOnceOnlyWithSeveralProcessorsAndTheMemoryForIt) {
    constexpr std::int64_t GiB = std::int64_t(1) << 30;
    const struct {
        int processors;
        std::int64_t memory;
        int expected;
    } cases[] = {
        {1, 64 * GiB, 1}, {0, 64 * GiB, 1}, {2, 64 * GiB, 2}, {16, 8 * GiB, 2},
        {16, 8 * GiB - 1, 1}, {8, 4 * GiB, 1}, {8, 0, 2}, {8, -1, 2},
    };
    for (const auto& c : cases)
        EXPECT_EQ(defaultUpscaleConcurrency(c.processors, c.memory), c.expected)
            << c.processors << " processors, " << c.memory << " bytes";
}

} // namespace
} // namespace glintwork
