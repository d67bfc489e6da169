#include <algorithm>

#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>

#include "cutout/BackgroundRemover.h"
#include "cutout/BackgroundRemoverError.h"
#include "cutout/CutoutTestImages.h"
#include "platform/ImageServices.h"
#include "support/TestSupport.h"

namespace glintwork {
namespace {

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
    QFile whole(*installed);
    ASSERT_TRUE(whole.open(QIODevice::ReadOnly));
    const QByteArray network = whole.readAll();
    const std::pair<QByteArray, QByteArray> cases[] = {
        {network.left(network.size() / 3), "{}"}, // truncated
        {network, R"({"inputWidth": 100, "inputHeight": 100})"}, // an input size it cannot take
    };
    for (const auto& [model, sidecar] : cases) {
        SCOPED_TRACE(sidecar.toStdString());
        test::ScratchDir dir;
        dir.writeFile(QStringLiteral("models/subject-segmentation.onnx"), model);
        dir.writeFile(QStringLiteral("models/subject-segmentation.json"), sidecar);
        const test::ResourceFolder resources(dir.path());
        const BackgroundRemover remover;
        for (int file = 0; file < 2; ++file) {
            try {
                (void)remover.generateMask(backdrop(false));
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
