#include <algorithm>
#include <cmath>
#include <string>

#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>

#include "cutout/BackgroundRemover.h"
#include "cutout/BackgroundRemoverError.h"
#include "platform/ImageServices.h"
#include "support/TestSupport.h"

namespace glintwork {
namespace {

const QString kSamples = QStringLiteral("/usr/lib/python3/dist-packages/skimage/data/");

// The horse silhouette filled with the cat photograph's fur, scaled to 60 % of a 480 × 360
// frame over `backdrop`; returns the composite and writes the known alpha to `truth`.
Image horseOver(const Image& backdrop, std::vector<std::uint8_t>& truth) {
    const Image horse = ImageServices::toRGBA8(ImageServices::decode(kSamples + QStringLiteral("horse.png")));
    const Image fur = ImageServices::downscale(
        ImageServices::toRGBA8(ImageServices::decode(kSamples + QStringLiteral("chelsea.png"))), horse.width,
        horse.height);
    Image subject = fur;
    for (int y = 0; y < horse.height; ++y)
        for (int x = 0; x < horse.width; ++x) {
            const std::uint8_t* h = horse.row(y) + 4 * x;
            subject.row(y)[4 * x + 3] = std::uint8_t(h[3] < 128 ? 0 : 255 - h[0]);
        }
    const int height = 216;
    const int width = horse.width * height / horse.height;
    subject = ImageServices::downscale(subject, width, height);
    Image out = backdrop;
    truth.assign(std::size_t(out.width) * std::size_t(out.height), 0);
    const int x0 = (out.width - width) / 2, y0 = (out.height - height) / 2;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const std::uint8_t* s = subject.row(y) + 4 * x;
            std::uint8_t* d = out.row(y0 + y) + 3 * (x0 + x);
            for (int c = 0; c < 3; ++c)
                d[c] = std::uint8_t((s[c] * s[3] + d[c] * (255 - s[3]) + 127) / 255);
            truth[std::size_t(y0 + y) * std::size_t(out.width) + std::size_t(x0 + x)] = s[3];
        }
    return out;
}

Image backdrop(const std::string& kind) {
    Image out = Image::make(480, 360, 8, AlphaInfo::none, ColorSpace::sRGB(), 3);
    const Image gravel = kind == "gravel"
                             ? ImageServices::toRGBA8(ImageServices::decode(kSamples + QStringLiteral("gravel.png")))
                             : Image();
    for (int y = 0; y < out.height; ++y)
        for (int x = 0; x < out.width; ++x)
            for (int c = 0; c < 3; ++c)
                out.row(y)[3 * x + c] = gravel.isEmpty() ? std::uint8_t(200 + 10 * c)
                                                         : gravel.row(y % gravel.height)[4 * (x % gravel.width) + c];
    return out;
}

double intersectionOverUnion(const Image& mask, const std::vector<std::uint8_t>& truth) {
    std::size_t both = 0, either = 0;
    for (int y = 0; y < mask.height; ++y)
        for (int x = 0; x < mask.width; ++x) {
            const bool found = mask.row(y)[x] >= 128;
            const bool known = truth[std::size_t(y) * std::size_t(mask.width) + std::size_t(x)] >= 128;
            both += found && known;
            either += found || known;
        }
    return either ? double(both) / double(either) : 0;
}

// The installed network on subjects whose alpha is known, over a plain and a busy backdrop;
// the busy one is what the built-in segmenter cannot do. Soft edges must stay soft.
TEST(SubjectNetwork, FindsTheSubjectOnPlainAndBusyBackdrops) {
    if (!BackgroundRemover::subjectModelPath())
        GTEST_SKIP() << "the subject segmentation network is not installed (scripts/setup-models installs it)";
    if (!QFileInfo::exists(kSamples + QStringLiteral("horse.png")))
        GTEST_SKIP() << "scikit-image's sample photographs are not installed (Debian python3-skimage)";
    const BackgroundRemover remover;
    for (const std::string kind : {"plain", "gravel"}) {
        SCOPED_TRACE(kind);
        std::vector<std::uint8_t> truth;
        const Image image = horseOver(backdrop(kind), truth);
        const Image mask = remover.generateMask(image);
        ASSERT_EQ(mask.width, image.width);
        ASSERT_EQ(mask.height, image.height);
        EXPECT_GE(intersectionOverUnion(mask, truth), 0.9);
        const auto partial = std::count_if(mask.pixels.begin(), mask.pixels.end(),
                                           [](std::uint8_t v) { return v > 10 && v < 245; });
        EXPECT_GT(partial, 0) << "the network's soft edge came back hard";
    }
}

// A damaged network, or one given an input it cannot take, fails every file with the same
// clear error instead of crashing.
TEST(SubjectNetwork, UnusableNetworksFailEachFileWithTheirName) {
    const auto installed = BackgroundRemover::subjectModelPath();
    if (!installed)
        GTEST_SKIP() << "the subject segmentation network is not installed (scripts/setup-models installs it)";
    QFile whole(*installed);
    ASSERT_TRUE(whole.open(QIODevice::ReadOnly));
    const QByteArray network = whole.readAll();
    const struct {
        const char* name;
        QByteArray model;
        QByteArray sidecar;
    } cases[] = {
        {"truncated", network.left(network.size() / 3), "{}"},
        {"input size it cannot take", network, R"({"inputWidth": 100, "inputHeight": 100})"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::ScratchDir dir;
        dir.writeFile(QStringLiteral("models/subject-segmentation.onnx"), c.model);
        dir.writeFile(QStringLiteral("models/subject-segmentation.json"), c.sidecar);
        const test::ResourceFolder resources(dir.path());
        const BackgroundRemover remover;
        for (int file = 0; file < 2; ++file) {
            try {
                (void)remover.generateMask(backdrop("plain"));
                ADD_FAILURE() << "an unusable network ran";
            } catch (const BackgroundRemoverError& error) {
                EXPECT_EQ(error.kind(), BackgroundRemoverError::Kind::visionRequestFailed);
                EXPECT_TRUE(error.description().contains(QStringLiteral("subject-segmentation.onnx")))
                    << error.description().toStdString();
            }
        }
    }
}

} // namespace
} // namespace glintwork
