#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include "cutout/BackgroundRemover.h"
#include "cutout/BackgroundRemoverError.h"
#include "cutout/ClassicalSegmenter.h"
#include "cutout/CutoutTestImages.h"
#include "cutout/MaskPixelBuffer.h"
#include "support/TestSupport.h"

namespace glintwork {
namespace {

MaskPixelBuffer floatBuffer(const std::vector<float>& values, int width, int height, std::size_t bytesPerRow) {
    MaskPixelBuffer buffer;
    buffer.format = MaskSampleFormat::float32;
    buffer.width = width;
    buffer.height = height;
    buffer.bytesPerRow = bytesPerRow;
    buffer.bytes.assign(bytesPerRow * std::size_t(height), 0xEE);
    for (int y = 0; y < height; ++y)
        std::memcpy(buffer.bytes.data() + std::size_t(y) * bytesPerRow,
                    values.data() + std::size_t(y) * std::size_t(width), std::size_t(width) * sizeof(float));
    return buffer;
}

MaskPixelBuffer byteBuffer(int width, int height, std::size_t bytesPerRow, std::uint8_t value,
                           std::uint8_t padding = 0xFF) {
    MaskPixelBuffer buffer;
    buffer.width = width;
    buffer.height = height;
    buffer.bytesPerRow = bytesPerRow;
    buffer.bytes.assign(bytesPerRow * std::size_t(height), padding);
    for (int y = 0; y < height; ++y)
        std::memset(buffer.bytes.data() + std::size_t(y) * bytesPerRow, value, std::size_t(width));
    return buffer;
}

TEST(PackedMask, FloatSamplesRoundAndSaturate) {
    const std::vector<float> values{-0.2f, 0.0f, 0.4f, 0.999f, 1.0f, 3.0f, NAN, 0.002f, 0.5f};
    const Image mask = packedMask(floatBuffer(values, 9, 1, 9 * sizeof(float) + 12));
    EXPECT_EQ(mask.pixels, (std::vector<std::uint8_t>{0, 0, 102, 255, 255, 255, 255, 1, 128}));
    EXPECT_EQ(mask.bitsPerPixel, 8);
    EXPECT_EQ(mask.alphaInfo, AlphaInfo::none);
    EXPECT_EQ(mask.colorSpace.kind, ColorSpace::Kind::linearGray);
}

TEST(PackedMask, PaddedRowsArePackedTight) {
    MaskPixelBuffer buffer = byteBuffer(5, 3, 8, 0, 0xAB);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x)
            buffer.bytes[std::size_t(y * 8 + x)] = std::uint8_t(10 * y + x);
    const Image mask = packedMask(buffer);
    EXPECT_EQ(mask.bytesPerRow, 5);
    ASSERT_EQ(mask.pixels.size(), 15u);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x)
            EXPECT_EQ(mask.pixels[std::size_t(y * 5 + x)], 10 * y + x);
}

TEST(PackedMask, RefusalsCarryTheirReasons) {
    MaskPixelBuffer flat = byteBuffer(640, 1, 640, 0);
    flat.height = 0;
    MaskPixelBuffer nil = byteBuffer(4, 4, 4, 0);
    nil.bytes.clear();
    const struct {
        const char* name;
        MaskPixelBuffer buffer;
        const char* text;
    } cases[] = {
        {"no rows", flat, "Failed to convert mask pixel buffer to CGImage: invalid mask dimensions 640x0"},
        {"no base address", nil, "Failed to convert mask pixel buffer to CGImage: mask pixel buffer base address was nil"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        try {
            (void)packedMask(c.buffer);
            ADD_FAILURE() << "packed";
        } catch (const BackgroundRemoverError& error) {
            EXPECT_EQ(error.description().toStdString(), c.text);
        }
    }
}

TEST(PersonCoverage, CountsBytesFromHalfUpAndTrustsOtherFormats) {
    // 1000 pixels in rows of 100 with 28 bytes of padding set to 255 that must not count.
    MaskPixelBuffer exact = byteBuffer(100, 10, 128, 0, 255);
    for (int i = 0; i < 5; ++i)
        exact.bytes[std::size_t(i)] = 128;
    EXPECT_DOUBLE_EQ(personCoverage(exact), 0.005);
    EXPECT_GE(personCoverage(exact), BackgroundRemover::kMinimumPersonCoverage);
    EXPECT_DOUBLE_EQ(personCoverage(byteBuffer(10, 10, 10, 127)), 0.0);
    EXPECT_DOUBLE_EQ(personCoverage(byteBuffer(10, 10, 10, 128)), 1.0);
    EXPECT_DOUBLE_EQ(personCoverage(floatBuffer(std::vector<float>(4, 0.0f), 2, 2, 8)), 1.0);
    MaskPixelBuffer empty = byteBuffer(10, 10, 10, 200);
    empty.bytes.clear();
    EXPECT_DOUBLE_EQ(personCoverage(empty), 0.0);
}

double intersectionOverUnion(const Image& mask, const Image& truth) {
    std::size_t both = 0, either = 0;
    for (std::size_t i = 0; i < mask.pixels.size(); ++i) {
        const bool a = mask.pixels[i] >= 128;
        const bool b = truth.pixels[i] >= 128;
        both += a && b;
        either += a || b;
    }
    return either ? double(both) / double(either) : 0.0;
}

TEST(ClassicalSegmenter, FindsASubjectOnPlainAndGradientBackdrops) {
    const std::uint8_t grey[3] = {200, 200, 205};
    const std::uint8_t blue[3] = {30, 60, 160};
    Image plain = test::discOnBackground(400, 300, grey, blue, 0.3);
    Image gradient = plain;
    for (int y = 0; y < 300; ++y)
        for (int x = 0; x < 400; ++x)
            if (std::hypot(x + 0.5 - 200, y + 0.5 - 150) >= 90)
                for (int c = 0; c < 3; ++c)
                    gradient.row(y)[3 * x + c] = std::uint8_t(100 + x / 5 + y / 6);
    const Image truth = test::greyMask(400, 300, [](int x, int y) {
        return std::hypot(x + 0.5 - 200, y + 0.5 - 150) < 90 ? 255 : 0;
    });
    for (const Image* image : {&plain, &gradient}) {
        const Image mask = BackgroundRemover().generateMask(*image);
        ASSERT_EQ(mask.width, 400);
        ASSERT_EQ(mask.height, 300);
        EXPECT_GT(intersectionOverUnion(mask, truth), 0.97);
        int soft = 0;
        for (auto v : mask.pixels)
            soft += v > 0 && v < 255;
        EXPECT_GT(soft, 0) << "the outline has partial coverage";
    }
}

TEST(ClassicalSegmenter, NoSubjectInAPlainOrSmoothPicture) {
    Image flat = test::noiseImage(300, 200, 8, AlphaInfo::none, 3);
    for (std::size_t i = 0; i < flat.pixels.size(); ++i)
        flat.pixels[i] = std::uint8_t(100 + (i / 3 % 300) / 10 + (flat.pixels[i] & 3));
    try {
        (void)BackgroundRemover().generateMask(flat);
        ADD_FAILURE() << "found a subject";
    } catch (const BackgroundRemoverError& error) {
        EXPECT_EQ(error.description(), QStringLiteral("No foreground subject was detected in the image."));
    }
}

TEST(BackgroundRemover, PersonMatteFallsBackToTheSubjectMaskWithoutAPersonModel) {
    test::ScratchDir dir;
    const test::ResourceFolder resources(dir.path());
    const std::uint8_t white[3] = {250, 250, 250};
    const std::uint8_t red[3] = {200, 20, 20};
    const Image image = test::discOnBackground(200, 150, white, red, 0.25);
    EXPECT_EQ(BackgroundRemover().generatePersonMatte(image).pixels,
              BackgroundRemover().generateMask(image).pixels);
}

// Runs the helper that writes the tiny network; empty when Python or onnx is missing.
QString makeTinySegmenter(const QString& path) {
    const QString script = QStringLiteral(QT_TESTCASE_SOURCEDIR "/cutout/make_tiny_segmenter.py");
    QProcess python;
    python.start(QStringLiteral("/usr/bin/python3"), {script, path});
    if (!python.waitForFinished(60000) || python.exitCode() != 0)
        return {};
    return path;
}

class OnnxBackEnd : public ::testing::Test {
protected:
    void SetUp() override {
        QDir().mkpath(m_dir.filePath(QStringLiteral("models")));
        m_model = makeTinySegmenter(m_dir.filePath(QStringLiteral("models/tiny.onnx")));
        if (m_model.isEmpty())
            GTEST_SKIP() << "needs /usr/bin/python3 with onnx and numpy (Debian python3-onnx)";
        m_resources = std::make_unique<test::ResourceFolder>(m_dir.path());
    }

    void install(const QString& name, const QByteArray& sidecar) {
        const QString target = m_dir.filePath(QStringLiteral("models/") + name + QStringLiteral(".onnx"));
        QFile::remove(target);
        ASSERT_TRUE(QFile::copy(m_model, target));
        if (!sidecar.isEmpty())
            m_dir.writeFile(QStringLiteral("models/") + name + QStringLiteral(".json"), sidecar);
    }

    // Left half red, right half blue.
    static Image halves() {
        Image image = Image::make(64, 48, 8, AlphaInfo::none, ColorSpace::sRGB(), 3);
        for (int y = 0; y < 48; ++y)
            for (int x = 0; x < 64; ++x)
                image.row(y)[3 * x + (x < 32 ? 0 : 2)] = 255;
        return image;
    }

    test::ScratchDir m_dir;
    QString m_model;
    std::unique_ptr<test::ResourceFolder> m_resources;
};

TEST_F(OnnxBackEnd, SubjectMaskComesBackAtTheSourcesResolution) {
    install(QStringLiteral("subject-segmentation"),
            R"({"inputWidth": 16, "inputHeight": 16, "channelOrder": "RGB", "sigmoid": true})");
    const Image mask = BackgroundRemover().generateMask(halves());
    ASSERT_EQ(mask.width, 64);
    ASSERT_EQ(mask.height, 48);
    EXPECT_EQ(mask.row(20)[5], 255);
    EXPECT_EQ(mask.row(20)[60], 0);
}

TEST_F(OnnxBackEnd, ChannelOrderMeanAndDeviationApply) {
    // BGR puts blue first; mean 0.5 and deviation 0.5 map 0…1 to -1…1, so a full channel
    // gives 20 - 10 and an empty one -20 - 10.
    install(QStringLiteral("subject-segmentation"),
            R"({"inputWidth": 16, "inputHeight": 16, "channelOrder": "BGR",
                "mean": [0.5, 0.5, 0.5], "std": [0.5, 0.5, 0.5], "sigmoid": true})");
    const Image mask = BackgroundRemover().generateMask(halves());
    EXPECT_EQ(mask.row(20)[5], 0);
    EXPECT_EQ(mask.row(20)[60], 255);
}

TEST_F(OnnxBackEnd, ARemoverReadsItsNetworkOnceForAllItsFiles) {
    install(QStringLiteral("subject-segmentation"),
            R"({"inputWidth": 16, "inputHeight": 16, "channelOrder": "RGB", "sigmoid": true})");
    const BackgroundRemover remover;
    const Image first = remover.generateMask(halves());
    m_dir.writeFile(QStringLiteral("models/subject-segmentation.onnx"), "not a network any more");
    EXPECT_EQ(remover.generateMask(halves()).pixels, first.pixels);
    EXPECT_THROW((void)BackgroundRemover().generateMask(halves()), BackgroundRemoverError);
}

TEST_F(OnnxBackEnd, NothingAboveHalfIsNoSubject) {
    install(QStringLiteral("subject-segmentation"), R"({"inputWidth": 16, "inputHeight": 16, "sigmoid": true})");
    const Image black = Image::make(32, 32, 8, AlphaInfo::none, ColorSpace::sRGB(), 3);
    try {
        (void)BackgroundRemover().generateMask(black);
        ADD_FAILURE() << "found a subject";
    } catch (const BackgroundRemoverError& error) {
        EXPECT_EQ(error.kind(), BackgroundRemoverError::Kind::noSubjectFound);
    }
}

TEST_F(OnnxBackEnd, PersonMatteKeepsTheNetworksResolution) {
    install(QStringLiteral("person-segmentation"), R"({"inputWidth": 16, "inputHeight": 16, "sigmoid": true})");
    const Image matte = BackgroundRemover().generatePersonMatte(halves());
    EXPECT_EQ(matte.width, 16);
    EXPECT_EQ(matte.height, 16);
    EXPECT_EQ(matte.row(3)[2], 255);
    EXPECT_EQ(matte.row(3)[14], 0);
}

TEST_F(OnnxBackEnd, BrokenModelsAndSidecarsAreVisionFailures) {
    m_dir.writeFile(QStringLiteral("models/subject-segmentation.onnx"), "not a network");
    try {
        (void)BackgroundRemover().generateMask(halves());
        ADD_FAILURE() << "ran";
    } catch (const BackgroundRemoverError& error) {
        EXPECT_EQ(error.kind(), BackgroundRemoverError::Kind::visionRequestFailed);
        EXPECT_TRUE(error.description().startsWith(QStringLiteral("Vision request failed: ")));
    }
    install(QStringLiteral("subject-segmentation"), R"({"channelOrder": "GRB"})");
    try {
        (void)BackgroundRemover().generateMask(halves());
        ADD_FAILURE() << "ran";
    } catch (const BackgroundRemoverError& error) {
        EXPECT_EQ(error.description(),
                  QStringLiteral("Vision request failed: subject-segmentation.json: \"channelOrder\" must be \"RGB\" or \"BGR\""));
    }
}

} // namespace
} // namespace glintwork
