// Quality and speed of the cut-out. Subjects with known alpha are made here from
// scikit-image's sample photographs (the horse silhouette filled with the cat's fur, a ball
// shaded from the astronaut's suit, a bottle cut from the coffee photograph's saucer),
// scaled to about half the frame and composited over plain, gradient and textured 4000 × 3000
// backgrounds; the intersection over union of the mask with the known alpha is reported per
// background kind. Then a 16-megapixel photograph goes through the real CLI, timed against
// one bare forward pass of the same network in the same run, alone and as a batch of ten.
//
//   bench_cutout [--builtin | --speed | --memory] [SAMPLE_DATA_FOLDER]   (default: scikit-image's data folder)
//   bench_cutout --both FOLDER PHOTO...
//
// --builtin measures the built-in segmenter's quality; otherwise the installed network's
// quality and speed; --speed only the speed; --memory the peak memory of glintwork-cli on the
// 16-megapixel photograph in each mode. --both makes both cut-outs of each photograph from one
// network pass and gives the share of pixels at alpha one half or more in the mask, as it
// comes and after detached specks are removed: the figure a near-empty cut-out is refused by.

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <functional>
#include <string>

#include <opencv2/dnn.hpp>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "cutout/AlphaComposition.h"
#include "cutout/BackgroundRemover.h"
#include "cutout/CutoutErrors.h"
#include "cutout/CleanEdgeCompositor.h"
#include "cutout/OnnxSegmenter.h"
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

    // A ball: the astronaut's suit, shaded as a sphere lit from the upper left.
    const Image suit = load(folder, "astronaut.png");
    Image ball = Image::make(400, 400, 8, AlphaInfo::last, ColorSpace::sRGB(), 3);
    for (int y = 0; y < 400; ++y)
        for (int x = 0; x < 400; ++x) {
            const double dx = (x - 200) / 190.0, dy = (y - 200) / 190.0;
            const double light = 0.35 + 0.65 * std::max(0.0, 1 - std::hypot(dx + 0.35, dy + 0.35) / 1.6);
            const std::uint8_t* s = suit.row(300 + y / 2) + 4 * (40 + x / 4);
            for (int c = 0; c < 3; ++c)
                ball.row(y)[4 * x + c] = std::uint8_t(std::clamp(s[c] * light, 0.0, 255.0));
        }
    setAlpha(ball, [](double x, double y) { return std::hypot(x - 200, y - 200) < 190; });
    subjects.push_back({"shaded ball", ball});

    // A bottle: body and neck with rounded shoulders, cut from the saucer's glaze.
    Image bottle = ImageServices::downscale(load(folder, "coffee.png"), 300, 600);
    setAlpha(bottle, [](double x, double y) {
        const double half = y < 180 ? 40 : y < 260 ? 40 + (y - 180) * 1.3 : 140;
        return y > 20 && y < 580 && std::abs(x - 150) < half;
    });
    subjects.push_back({"saucer bottle", bottle});
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

struct ChildRun {
    double seconds = 0;
    long peakKiB = 0;
    int exitCode = -1;
};

// Runs a program to its end under /usr/bin/time, which reports the peak resident memory
// of that program alone (a child forked from here would count this process's pages).
ChildRun runChild(QStringList arguments) {
    QTemporaryDir scratch;
    const QString report = scratch.filePath(QStringLiteral("time"));
    arguments = QStringList{QStringLiteral("/usr/bin/time"), QStringLiteral("-f"), QStringLiteral("%M"),
                            QStringLiteral("-o"), report} + arguments;
    std::vector<QByteArray> bytes;
    for (const QString& argument : arguments)
        bytes.push_back(QFile::encodeName(argument));
    std::vector<char*> argv;
    for (QByteArray& b : bytes)
        argv.push_back(b.data());
    argv.push_back(nullptr);
    ChildRun run;
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    QFile file(report);
    if (file.open(QIODevice::ReadOnly))
        run.peakKiB = QString::fromUtf8(file.readAll()).trimmed().split(QLatin1Char('\n')).last().toLong();
    return run;
}

// A 16-megapixel camera-like photograph: the astronaut enlarged to 4608 × 3456 with sensor
// noise, as a JPEG.
QString makePhotograph(const QString& folder, const QString& target) {
    const Image source = ImageServices::decode(folder + QStringLiteral("/astronaut.png"));
    Image big = ImageServices::toRGBA8(source);
    big = ImageServices::downscale(big, 4608, 3456); // any size: Lanczos either way
    Image rgb = Image::make(big.width, big.height, 8, AlphaInfo::none, ColorSpace::sRGB(), 3);
    std::uint32_t noise = 99;
    for (int y = 0; y < big.height; ++y)
        for (int x = 0; x < big.width; ++x)
            for (int c = 0; c < 3; ++c) {
                noise = noise * 1664525u + 1013904223u;
                rgb.row(y)[3 * x + c] = std::uint8_t(std::clamp(int(big.row(y)[4 * x + c]) + int(noise >> 29) - 4, 0, 255));
            }
    ImageServices::writeJPEG(rgb, target, 0.9);
    return target;
}

void timePipeline(const QString& folder, const QString& cli) {
    const auto model = BackgroundRemover::subjectModelPath();
    if (!model) {
        std::printf("no segmentation network installed: pipeline timing skipped\n");
        return;
    }
    QTemporaryDir work;
    const QString photo = makePhotograph(folder, work.filePath(QStringLiteral("photo.jpg")));

    // The bare pass: the network alone on a prepared 1024 × 1024 input. The first pass of a
    // loaded network also sets up its buffers, as the one pass of a single-file run does.
    cv::dnn::Net net = cv::dnn::readNetFromONNX(QFile::encodeName(*model).toStdString());
    cv::Mat blob(std::vector<int>{1, 3, 1024, 1024}, CV_32F, cv::Scalar(0.1));
    net.setInput(blob);
    const double firstPass = seconds([&] { (void)net.forward(); });
    double bare = 1e9;
    for (int i = 0; i < 2; ++i) {
        net.setInput(blob);
        bare = std::min(bare, seconds([&] { (void)net.forward(); }));
    }
    net = cv::dnn::Net();

    Image decoded;
    const double decodeTime = seconds([&] { decoded = ImageServices::decode(photo); });
    OnnxSegmenter::Network* network = nullptr;
    std::unique_ptr<OnnxSegmenter::Network> owned;
    const double loadTime = seconds([&] { owned = std::make_unique<OnnxSegmenter::Network>(*model); });
    network = owned.get();
    (void)network->run(decoded); // buffers
    MaskPixelBuffer mask;
    const double maskTime = seconds([&] { mask = OnnxSegmenter::subjectMask(*network, decoded); });
    Image packed;
    const double packTime = seconds([&] { packed = packedMask(mask); });
    Image cutout;
    const double attachTime = seconds([&] { cutout = withMaskAsAlpha(decoded, packed); });
    const double writeTime = seconds([&] { ImageServices::writePNG(cutout, work.filePath(QStringLiteral("out.png"))); });
    owned.reset();

    const ChildRun one = runChild({cli, QStringLiteral("cutout"), QStringLiteral("--quiet"), QStringLiteral("--output"),
                                   work.filePath(QStringLiteral("one")), photo});
    QStringList batch{cli, QStringLiteral("cutout"), QStringLiteral("--quiet"), QStringLiteral("--output"),
                      work.filePath(QStringLiteral("ten"))};
    QDir().mkpath(work.filePath(QStringLiteral("ten-in")));
    for (int i = 0; i < 10; ++i) {
        const QString copy = work.filePath(QStringLiteral("ten-in/photo-%1.jpg").arg(i));
        QFile::copy(photo, copy);
        batch << copy;
    }
    const ChildRun ten = runChild(batch);

    std::printf("\n16-megapixel photograph (4608 x 3456 JPEG), lossless cut-out\n");
    std::printf("  bare forward pass                  %6.2f s (first pass of a loaded network %.2f s)\n", bare, firstPass);
    std::printf("  decode                             %6.2f s\n", decodeTime);
    std::printf("  load network                       %6.2f s\n", loadTime);
    std::printf("  subject mask (prepare, pass, back) %6.2f s\n", maskTime);
    std::printf("  pack mask                          %6.2f s\n", packTime);
    std::printf("  attach as alpha                    %6.2f s\n", attachTime);
    std::printf("  write PNG                          %6.2f s\n", writeTime);
    std::printf("  glintwork-cli cutout, one photo    %6.2f s = %.2f x the bare pass, peak %ld MiB (exit %d)\n",
                one.seconds, one.seconds / bare, one.peakKiB / 1024, one.exitCode);
    std::printf("  glintwork-cli cutout, ten photos   %6.2f s = %.2f x ten bare passes, peak %ld MiB (exit %d)\n",
                ten.seconds, ten.seconds / (10 * bare), ten.peakKiB / 1024, ten.exitCode);
}

void peakMemory(const QString& folder, const QString& cli) {
    QTemporaryDir work;
    const QString photo = makePhotograph(folder, work.filePath(QStringLiteral("photo.jpg")));
    std::printf("16-megapixel photograph (4608 x 3456 JPEG), one glintwork-cli cutout run per mode\n");
    for (const char* mode : {"lossless", "clean-edges"}) {
        const ChildRun run = runChild({cli, QStringLiteral("cutout"), QStringLiteral("--quiet"), QStringLiteral("--mode"),
                                       QLatin1String(mode), QStringLiteral("--output"),
                                       work.filePath(QLatin1String(mode)), photo});
        std::printf("  %-12s %6.2f s, peak %ld MiB (exit %d)\n", mode, run.seconds, run.peakKiB / 1024, run.exitCode);
    }
}

// One network pass per photograph, both cut-outs made from its mask: FOLDER/STEM-lossless.png
// and FOLDER/STEM-clean.png, for contact_sheet.py --from.
void cutBoth(const QString& folder, const QStringList& photos) {
    const BackgroundRemover remover;
    QDir().mkpath(folder);
    std::printf("%-24s %10s %13s %13s %8s %s\n", "photo", "pass s", "mask>=0.5 %", "w/o specks %", "clean s",
                "result");
    for (const QString& path : photos) {
        const QString stem = QFileInfo(path).completeBaseName();
        Image image = ImageServices::decode(path);
        if (image.colorSpace.componentCount == 4)
            image = ImageServices::toRGBA8(image);
        Image mask;
        double pass = 0, raw = 0, kept = 0, clean = 0;
        QString result = QStringLiteral("written");
        try {
            pass = seconds([&] { mask = remover.generateMask(image); });
            std::vector<std::uint8_t> alpha = mask.pixels;
            const auto share = [&] {
                return 100.0 * double(std::count_if(alpha.begin(), alpha.end(), [](auto a) { return a >= 128; })) /
                       double(alpha.size());
            };
            raw = share();
            CleanEdgeCompositor::removeSmallComponents(alpha, mask.width, mask.height);
            kept = share();
            ImageServices::writePNG(withMaskAsAlpha(image, mask), folder + QLatin1Char('/') + stem + QStringLiteral("-lossless.png"));
            Image cleaned;
            clean = seconds([&] { cleaned = CleanEdgeCompositor::composite(image, mask); });
            ImageServices::writePNG(cleaned, folder + QLatin1Char('/') + stem + QStringLiteral("-clean.png"));
        } catch (const Error& error) {
            result = error.text();
        }
        std::printf("%-24s %10.1f %13.4f %13.4f %8.2f %s\n", qPrintable(QFileInfo(path).fileName()), pass, raw,
                    kept, clean, qPrintable(result));
        std::fflush(stdout);
    }
}

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QStringList arguments = app.arguments().mid(1);
    if (arguments.value(0) == QStringLiteral("--both") && arguments.size() >= 3) {
        cutBoth(arguments.at(1), arguments.mid(2));
        return 0;
    }
    const bool memory = arguments.removeAll(QStringLiteral("--memory")) > 0;
    const bool builtin = arguments.removeAll(QStringLiteral("--builtin")) > 0;
    const bool speedOnly = arguments.removeAll(QStringLiteral("--speed")) > 0;
    const QString folder = !arguments.isEmpty() ? arguments.first()
                                                : QStringLiteral("/usr/lib/python3/dist-packages/skimage/data");
    if (!QDir(folder).exists(QStringLiteral("horse.png"))) {
        std::fprintf(stderr, "sample photographs not found in %s (Debian python3-skimage)\n", qPrintable(folder));
        return 1;
    }
    QTemporaryDir noModels;
    if (builtin)
        qputenv("GLINTWORK_RESOURCES", noModels.path().toUtf8());
    std::printf("segmenter: %s\n", BackgroundRemover::subjectModelPath() ? "installed network" : "built-in");

    if (memory) {
        peakMemory(folder, QCoreApplication::applicationDirPath() + QStringLiteral("/glintwork-cli"));
        return 0;
    }
    if (speedOnly) {
        timePipeline(folder, QCoreApplication::applicationDirPath() + QStringLiteral("/glintwork-cli"));
        return 0;
    }
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
            } catch (const Error& error) {
                std::printf("%-10s %-20s %s\n", kind.c_str(), subject.name,
                            qPrintable(error.text()));
            }
            sum += score;
            std::printf("%-10s %-20s %6.3f %10.2f %12.1f %12.1f\n", kind.c_str(), subject.name, score,
                        segmentTime, attachTime * 1000 / megapixels, cleanTime * 1000 / megapixels);
        }
        std::printf("%-10s %-20s %6.3f\n", kind.c_str(), "mean", sum / double(subjects.size()));
    }
    std::printf("peak resident %.0f MiB\n", peakResidentKiB() / 1024.0);
    if (!builtin)
        timePipeline(folder, QCoreApplication::applicationDirPath() + QStringLiteral("/glintwork-cli"));
    return 0;
}
