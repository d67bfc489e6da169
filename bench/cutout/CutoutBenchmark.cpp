// Quality and speed of the cutout stages. Subjects are cut out of scikit-image's sample
// photographs with masks made here (the horse silhouette filled with the cat's fur, an
// ellipse around the coffee cup, a soft disc around the astronaut's helmet), scaled to
// about half the frame and composited with known alpha over plain, gradient and textured
// 4000 × 3000 backgrounds. Reports the built-in segmenter's intersection over union per
// background kind and the time per stage.
//
//   bench_cutout [SAMPLE_DATA_FOLDER]   (default: scikit-image's data folder)

#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <functional>
#include <string>

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>

#include "cutout/AlphaComposition.h"
#include "cutout/BackgroundRemover.h"
#include "cutout/BackgroundRemoverError.h"
#include "cutout/CleanEdgeCompositor.h"
#include "platform/ImageServices.h"

using namespace glintwork;

namespace {

constexpr int kWidth = 4000;
constexpr int kHeight = 3000;

struct Subject {
    const char* name;
    Image rgba;      // packed 8-bit RGBA, straight alpha = the mask made here
};

Image load(const QString& folder, const char* name) {
    return ImageServices::toRGBA8(ImageServices::decode(folder + QLatin1Char('/') + QLatin1String(name)));
}

// Soft mask from a predicate evaluated on 4 × 4 samples per pixel.
template <typename Inside> void setAlpha(Image& rgba, Inside inside) {
    for (int y = 0; y < rgba.height; ++y)
        for (int x = 0; x < rgba.width; ++x) {
            int n = 0;
            for (int sy = 0; sy < 4; ++sy)
                for (int sx = 0; sx < 4; ++sx)
                    n += inside(x + (sx + 0.5) / 4, y + (sy + 0.5) / 4);
            rgba.row(y)[4 * x + 3] = std::uint8_t(std::lround(n * 255.0 / 16));
        }
}

std::vector<Subject> makeSubjects(const QString& folder) {
    std::vector<Subject> subjects;
    // Horse silhouette (its own alpha, dark shape) filled with the cat photograph.
    Image horse = load(folder, "horse.png");
    Image cat = ImageServices::downscale(load(folder, "chelsea.png"), horse.width, horse.height);
    for (int y = 0; y < horse.height; ++y)
        for (int x = 0; x < horse.width; ++x) {
            const std::uint8_t* h = horse.row(y) + 4 * x;
            const int shape = h[3] < 128 ? 0 : 255 - h[0];
            std::uint8_t* c = cat.row(y) + 4 * x;
            c[3] = std::uint8_t(std::clamp(shape, 0, 255));
        }
    subjects.push_back({"cat-textured horse", cat});

    Image coffee = load(folder, "coffee.png");
    setAlpha(coffee, [](double x, double y) {
        const double dx = (x - 300) / 215, dy = (y - 190) / 150;
        return dx * dx + dy * dy < 1;
    });
    subjects.push_back({"coffee cup", coffee});

    Image astronaut = load(folder, "astronaut.png");
    setAlpha(astronaut, [](double x, double y) { return std::hypot(x - 215, y - 140) < 120; });
    subjects.push_back({"astronaut helmet", astronaut});
    return subjects;
}

Image background(const std::string& kind, const QString& folder) {
    Image out = Image::make(kWidth, kHeight, 8, AlphaInfo::none, ColorSpace::sRGB(), 3);
    if (kind == "textured") {
        const Image tile = ImageServices::downscale(load(folder, "gravel.png"), 2048, 2048);
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x) {
                const std::uint8_t* t = tile.row(y % 2048) + 4 * (x % 2048);
                for (int c = 0; c < 3; ++c)
                    out.row(y)[3 * x + c] = t[c];
            }
        return out;
    }
    std::uint32_t noise = 12345;
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            noise = noise * 1664525u + 1013904223u;
            const int jitter = int(noise >> 30) - 2; // sensor-like ±2
            const double t = kind == "gradient" ? 0.6 * x / kWidth + 0.4 * y / kHeight : 0.0;
            const int base[3] = {int(235 - 150 * t), int(232 - 110 * t), int(225 - 40 * t)};
            for (int c = 0; c < 3; ++c)
                out.row(y)[3 * x + c] = std::uint8_t(std::clamp(base[c] + jitter, 0, 255));
        }
    return out;
}

// Subject scaled to 55 % of the frame height, composited over the centre.
std::pair<Image, std::vector<std::uint8_t>> composite(const Image& backdrop, const Subject& subject) {
    const int h = kHeight * 55 / 100;
    const int w = int(std::lround(double(subject.rgba.width) * h / subject.rgba.height));
    const Image scaled = ImageServices::downscale(subject.rgba, w, h);
    Image out = backdrop;
    std::vector<std::uint8_t> truth(std::size_t(kWidth) * kHeight, 0);
    const int x0 = (kWidth - w) / 2, y0 = (kHeight - h) / 2;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const std::uint8_t* s = scaled.row(y) + 4 * x;
            std::uint8_t* d = out.row(y0 + y) + 3 * (x0 + x);
            const int a = s[3];
            for (int c = 0; c < 3; ++c)
                d[c] = std::uint8_t((s[c] * a + d[c] * (255 - a) + 127) / 255);
            truth[std::size_t(y0 + y) * kWidth + std::size_t(x0 + x)] = s[3];
        }
    return {out, truth};
}

double iou(const Image& mask, const std::vector<std::uint8_t>& truth) {
    std::size_t both = 0, either = 0;
    for (std::size_t i = 0; i < truth.size(); ++i) {
        const bool a = mask.pixels[i] >= 128, b = truth[i] >= 128;
        both += a && b;
        either += a || b;
    }
    return either ? double(both) / double(either) : 0.0;
}

double seconds(const std::function<void()>& work) {
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

long peakResidentKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0)
            return std::stol(line.substr(6));
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1])
                                    : QStringLiteral("/usr/lib/python3/dist-packages/skimage/data");
    if (!QDir(folder).exists(QStringLiteral("horse.png"))) {
        std::fprintf(stderr, "sample photographs not found in %s (Debian python3-skimage)\n", qPrintable(folder));
        return 1;
    }
    // The built-in segmenter is measured, whatever models are installed.
    QTemporaryDir noModels;
    qputenv("GLINTWORK_RESOURCES", noModels.path().toUtf8());

    const std::vector<Subject> subjects = makeSubjects(folder);
    const double megapixels = kWidth * kHeight / 1e6;
    const BackgroundRemover remover;
    std::printf("%-10s %-20s %6s %10s %12s %12s\n", "backdrop", "subject", "IoU", "segment s",
                "attach ms/MP", "clean ms/MP");
    for (const std::string kind : {"plain", "gradient", "textured"}) {
        const Image backdrop = background(kind, folder);
        double sum = 0;
        for (const Subject& subject : subjects) {
            const auto [image, truth] = composite(backdrop, subject);
            Image mask;
            double segmentTime = 0, attachTime = 0, cleanTime = 0, score = 0;
            try {
                segmentTime = seconds([&] { mask = remover.generateMask(image); });
                score = iou(mask, truth);
                attachTime = seconds([&] { (void)withMaskAsAlpha(image, mask); });
                cleanTime = seconds([&] { (void)CleanEdgeCompositor::composite(image, mask); });
            } catch (const BackgroundRemoverError& error) {
                std::printf("%-10s %-20s %s\n", kind.c_str(), subject.name, qPrintable(error.description()));
            }
            sum += score;
            std::printf("%-10s %-20s %6.3f %10.2f %12.1f %12.1f\n", kind.c_str(), subject.name, score,
                        segmentTime, attachTime * 1000 / megapixels, cleanTime * 1000 / megapixels);
        }
        std::printf("%-10s %-20s %6.3f\n", kind.c_str(), "mean", sum / double(subjects.size()));
    }
    const double decodedMiB = kWidth * kHeight * 3 / 1048576.0;
    std::printf("peak resident %.0f MiB (decoded 12 MP RGB image: %.0f MiB)\n", peakResidentKiB() / 1024.0,
                decodedMiB);
    return 0;
}
