#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include <QFile>
#include <QFileInfo>

#include "cutout/BackgroundRemover.h"
#include "cutout/CutoutErrors.h"
#include "support/TestImages.h"
#include "cutout/MaskPixelBuffer.h"
#include "platform/ImageServices.h"
#include "support/TestSupport.h"

namespace glintwork {
namespace {

// Rows of `width` samples from `values` (repeated when shorter), padded to bytesPerRow with
// bytes that must never be read.
template <typename T>
MaskPixelBuffer maskBuffer(const std::vector<T>& values, int width, int height, std::size_t bytesPerRow) {
    MaskPixelBuffer buffer{std::is_same_v<T, float> ? MaskSampleFormat::float32 : MaskSampleFormat::byte, width, height,
                           bytesPerRow, std::vector<std::uint8_t>(bytesPerRow * std::size_t(height), 0xFF)};
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            std::memcpy(buffer.bytes.data() + y * bytesPerRow + x * sizeof(T),
                        &values[std::size_t(y * width + x) % values.size()], sizeof(T));
    return buffer;
}

TEST(PackedMask, FloatSamplesRoundAndSaturateAndPaddedRowsArePacked) {
    const std::vector<float> values{-0.2f, 0.0f, 0.4f, 0.999f, 1.0f, 3.0f, NAN, 0.002f, 0.5f};
    const Image mask = packedMask(maskBuffer(values, 9, 1, 9 * sizeof(float) + 12));
    EXPECT_EQ(mask.pixels, (std::vector<std::uint8_t>{0, 0, 102, 255, 255, 255, 255, 1, 128}));
    EXPECT_EQ(mask.colorSpace.kind, ColorSpace::Kind::linearGray);
    const std::vector<std::uint8_t> bytes{0, 1, 2, 3, 4, 10, 11, 12, 13, 14, 20, 21, 22, 23, 24};
    EXPECT_EQ(packedMask(maskBuffer(bytes, 5, 3, 8)).pixels, bytes);
}

TEST(PackedMask, RefusalsCarryTheirReasons) {
    using Change = std::function<void(MaskPixelBuffer&)>;
    const std::pair<Change, const char*> cases[] = {
        {[](MaskPixelBuffer& b) {
             b.width = 640;
             b.height = 0;
         },
         "invalid mask dimensions 640x0"},
        {[](MaskPixelBuffer& b) { b.bytes.clear(); }, "the mask buffer holds no pixels"},
    };
    for (const auto& [change, text] : cases) {
        MaskPixelBuffer buffer = maskBuffer(std::vector<std::uint8_t>{0}, 4, 4, 8);
        change(buffer);
        EXPECT_EQ(test::errorText([&] { (void)packedMask(buffer); }),
                  std::string("The image could not be prepared from the subject mask: ") + text);
    }
}

// Without a network the built-in segmenter answers.
TEST(ClassicalSegmenter, FindsASubjectOnPlainAndGradientBackdropsAndNoneInASmoothPicture) {
    test::ScratchDir dir;
    const test::ResourceFolder resources(dir.path());
    const std::uint8_t grey[3] = {200, 200, 205}, blue[3] = {30, 60, 160};
    const auto inside = [](int x, int y) { return std::hypot(x + 0.5 - 200, y + 0.5 - 150) < 90; };
    const Image plain = test::discOnBackground(400, 300, grey, blue, 0.3);
    Image gradient = plain;
    test::fill(gradient, [&](int x, int y, int c) { return inside(x, y) ? plain.row(y)[3 * x + c] : 100 + x / 5 + y / 6; });
    const Image truth = test::greyMask(400, 300, [&](int x, int y) { return inside(x, y) ? 255 : 0; });
    for (const Image* image : {&plain, static_cast<const Image*>(&gradient)}) {
        const Image mask = BackgroundRemover().generateMask(*image);
        ASSERT_EQ(std::pair(mask.width, mask.height), std::pair(400, 300));
        EXPECT_GT(test::intersectionOverUnion(mask, truth), 0.97);
        EXPECT_TRUE(std::any_of(mask.pixels.begin(), mask.pixels.end(), [](auto v) { return v > 0 && v < 255; }))
            << "the outline has partial coverage";
    }

    Image smooth = test::noiseImage(300, 200, 8, AlphaInfo::none, 3);
    for (std::size_t i = 0; i < smooth.pixels.size(); ++i)
        smooth.pixels[i] = std::uint8_t(100 + (i / 3 % 300) / 10 + (smooth.pixels[i] & 3));
    EXPECT_EQ(test::errorText([&] { (void)BackgroundRemover().generateMask(smooth); }),
              "No foreground subject was detected in the image.");
}

// A network of one 1 × 1 convolution on 16 × 16: 20 × the first channel - 10.
const char* const kTinySegmenter = R"(<ir_version: 7, opset_import: ["" : 13]>
tiny (float[1,3,16,16] x) => (float[1,1,16,16] mask) <float[1,3,1,1] w = {20.0, 0.0, 0.0}, float[1] b = {-10.0}>
{ mask = Conv <kernel_shape = [1, 1]> (x, w, b) })";

class OnnxBackEnd : public ::testing::Test {
protected:
    void SetUp() override {
        const QString path = m_dir.filePath(QStringLiteral("tiny.onnx"));
        QString why;
        if (!test::writeNetworkWithPython(
                "import onnx.parser, sys; onnx.save(onnx.parser.parse_model(sys.argv[2]), sys.argv[1])",
                path, QString::fromLatin1(kTinySegmenter), &why))
            GTEST_SKIP() << why.toStdString();
        m_network = test::contents(path);
    }

    void install(const QString& name, const QByteArray& sidecar, const QByteArray& network = {}) {
        m_dir.writeFile(QStringLiteral("models/") + name + QStringLiteral(".onnx"), network.isEmpty() ? m_network : network);
        m_dir.writeFile(QStringLiteral("models/") + name + QStringLiteral(".json"), sidecar);
    }

    // Left half red, right half blue.
    static Image halves() {
        Image image = Image::make(64, 48, 8, AlphaInfo::none, ColorSpace::sRGB(), 3);
        test::fill(image, [](int x, int, int c) { return c == (x < 32 ? 0 : 2) ? 255 : 0; });
        return image;
    }

    test::ScratchDir m_dir;
    test::ResourceFolder m_resources{m_dir.path()};
    QByteArray m_network;
};

TEST_F(OnnxBackEnd, SubjectMaskAtTheSourcesSizeWithTheSidecarsChannelsAndScaling) {
    // BGR puts blue first; 0…1 mapped to -1…1, a full channel gives 20 - 10, an empty one -30.
    const std::tuple<QByteArray, int, int> cases[] = {
        {R"({"inputWidth": 16, "inputHeight": 16, "channelOrder": "RGB", "sigmoid": true})", 255, 0},
        {R"({"inputWidth": 16, "inputHeight": 16, "channelOrder": "BGR",
             "mean": [0.5, 0.5, 0.5], "std": [0.5, 0.5, 0.5], "sigmoid": true})", 0, 255},
    };
    for (const auto& [sidecar, left, right] : cases) {
        install(QStringLiteral("subject-segmentation"), sidecar);
        const Image mask = BackgroundRemover().generateMask(halves());
        ASSERT_EQ(std::pair(mask.width, mask.height), std::pair(64, 48));
        EXPECT_EQ(std::pair(int(mask.row(20)[5]), int(mask.row(20)[60])), std::pair(left, right));
    }
    // A remover reads its network once for all its files.
    const BackgroundRemover remover;
    const Image first = remover.generateMask(halves());
    m_dir.writeFile(QStringLiteral("models/subject-segmentation.onnx"), "not a network any more");
    EXPECT_EQ(remover.generateMask(halves()).pixels, first.pixels);
}

TEST_F(OnnxBackEnd, FailuresSayWhatWentWrong) {
    const struct {
        QByteArray network, sidecar;
        Image image;
        const char* text;
    } cases[] = {
        {{}, R"({"inputWidth": 16, "inputHeight": 16, "sigmoid": true})",
         Image::make(32, 32, 8, AlphaInfo::none, ColorSpace::sRGB(), 3), "No foreground subject was detected in the image."},
        {{}, R"({"channelOrder": "GRB"})", halves(),
         "Subject detection failed: subject-segmentation.json: \"channelOrder\" must be \"RGB\" or \"BGR\""},
        {"not a network", "{}", halves(), "Subject detection failed: "},
    };
    for (const auto& c : cases) {
        install(QStringLiteral("subject-segmentation"), c.sidecar, c.network);
        EXPECT_THAT(test::errorText([&] { (void)BackgroundRemover().generateMask(c.image); }),
                    testing::StartsWith(c.text));
    }
    // A FIFO where the description belongs is refused at once instead of waiting for a writer.
    const QString sidecar = m_dir.filePath(QStringLiteral("models/subject-segmentation.json"));
    ASSERT_TRUE(QFile::remove(sidecar));
    ASSERT_EQ(::mkfifo(QFile::encodeName(sidecar).constData(), 0600), 0);
    EXPECT_EQ(test::errorText([&] { (void)BackgroundRemover().generateMask(halves()); }),
              "Subject detection failed: subject-segmentation.json is not a regular file of at "
              "most 1 MB");
}

const QString kSamples = QStringLiteral("/usr/lib/python3/dist-packages/skimage/data/");

Image sample(const char* name) {
    return ImageServices::toRGBA8(ImageServices::decode(kSamples + QLatin1String(name)));
}

// The horse silhouette filled with the cat photograph's fur, 216 pixels high in the middle of
// `backdrop`; `truth` gets its alpha.
Image horseOver(const Image& backdrop, Image& truth) {
    const Image horse = sample("horse.png");
    Image subject = ImageServices::downscale(sample("chelsea.png"), horse.width, horse.height);
    for (int y = 0; y < horse.height; ++y)
        for (int x = 0; x < horse.width; ++x)
            subject.row(y)[4 * x + 3] = horse.row(y)[4 * x + 3] < 128 ? 0 : 255 - horse.row(y)[4 * x];
    subject = ImageServices::downscale(subject, horse.width * 216 / horse.height, 216);
    const int x0 = (backdrop.width - subject.width) / 2, y0 = (backdrop.height - subject.height) / 2;
    const auto at = [&](int x, int y, int c) {
        const bool inside = x >= x0 && y >= y0 && x < x0 + subject.width && y < y0 + subject.height;
        return inside ? subject.row(y - y0)[4 * (x - x0) + c] : 0;
    };
    truth = test::greyMask(backdrop.width, backdrop.height, [&](int x, int y) { return at(x, y, 3); });
    Image out = backdrop;
    test::fill(out, [&](int x, int y, int c) {
        return (at(x, y, c) * at(x, y, 3) + backdrop.row(y)[3 * x + c] * (255 - at(x, y, 3)) + 127) / 255;
    });
    return out;
}

Image backdrop(bool gravel) {
    const Image texture = gravel ? sample("gravel.png") : Image();
    Image out = Image::make(480, 360, 8, AlphaInfo::none, ColorSpace::sRGB(), 3);
    test::fill(out, [&](int x, int y, int c) {
        return gravel ? texture.row(y % texture.height)[4 * (x % texture.width) + c] : 200 + 10 * c;
    });
    return out;
}

// The installed network on subjects whose alpha is known, over a plain and a busy backdrop;
// the busy one is what the built-in segmenter cannot do. Soft edges must stay soft.
TEST(SubjectNetwork, FindsTheSubjectOnPlainAndBusyBackdrops) {
    if (!BackgroundRemover::subjectModelPath())
        GTEST_SKIP() << "the subject segmentation network is not installed (scripts/setup-models installs it)";
    if (!QFileInfo::exists(kSamples + QStringLiteral("horse.png")))
        GTEST_SKIP() << "scikit-image's sample photographs are not installed (Debian python3-skimage)";
    const BackgroundRemover remover;
    for (const bool gravel : {false, true}) {
        SCOPED_TRACE(gravel);
        Image truth;
        const Image image = horseOver(backdrop(gravel), truth);
        const Image mask = remover.generateMask(image);
        ASSERT_EQ(std::pair(mask.width, mask.height), std::pair(image.width, image.height));
        EXPECT_GE(test::intersectionOverUnion(mask, truth), 0.9);
        EXPECT_TRUE(std::any_of(mask.pixels.begin(), mask.pixels.end(), [](auto v) { return v > 10 && v < 245; }))
            << "the network's soft edge came back hard";
    }
}

// A damaged network, or one given an input it cannot take, fails every file with the same
// clear error instead of crashing.
TEST(SubjectNetwork, UnusableNetworksFailEachFileWithTheirName) {
    const auto installed = BackgroundRemover::subjectModelPath();
    if (!installed)
        GTEST_SKIP() << "the subject segmentation network is not installed (scripts/setup-models installs it)";
    const QByteArray network = test::contents(*installed);
    ASSERT_FALSE(network.isEmpty());
    const std::tuple<QByteArray, QByteArray, const char*> cases[] = {
        {network.left(network.size() / 3), "{}", ""}, // truncated
        {network, R"({"inputWidth": 100, "inputHeight": 100})", ""}, // an input size it cannot take
        {network, {}, "subject-segmentation.json, which gives its input size and scaling, is missing"},
    };
    for (const auto& [model, sidecar, reason] : cases) {
        SCOPED_TRACE(sidecar.toStdString());
        test::ScratchDir dir;
        dir.writeFile(QStringLiteral("models/subject-segmentation.onnx"), model);
        if (!sidecar.isEmpty())
            dir.writeFile(QStringLiteral("models/subject-segmentation.json"), sidecar);
        const test::ResourceFolder resources(dir.path());
        const BackgroundRemover remover;
        for (int file = 0; file < 2; ++file)
            EXPECT_THAT(test::errorText([&] { (void)remover.generateMask(backdrop(false)); }),
                        testing::AllOf(testing::StartsWith("Subject detection failed: "),
                                       testing::HasSubstr("subject-segmentation.onnx"),
                                       testing::HasSubstr(reason)));
    }
}

} // namespace
} // namespace glintwork
