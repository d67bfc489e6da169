// Speed and memory of the 4x networks: NETWORK is "best" (the general network, the default)
// or "fast" (the compact one).
//
//   bench_upscale tile [NETWORK [RUNS [ours]]]  seconds per 512 × 512 tile on OpenCV DNN
//                                      (best of RUNS, default 2), then, unless "ours" is
//                                      given, the same network on the same weights in PyTorch
//                                      (CPU, as many threads)
//   bench_upscale file [NETWORK [WIDTH HEIGHT]]  one whole file (default 2000 × 1500) at 4x
//                                      through the upscale pipeline: wall time and peak
//                                      resident memory
//   bench_upscale cli [PICTURE]        a picture (default: a generated 512 × 512 one) through
//                                      glintwork-cli upscale --fast at 4x, against one bare
//                                      forward pass of the fast network on it in this process
//
// Each mode reports the peak resident memory of its own process, so run them one by one.

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>

#include <opencv2/core.hpp>

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QUrl>

#include "platform/CancellationToken.h"
#include "platform/ImageServices.h"
#include "upscale/AutoTiler.h"
#include "upscale/DnnUpscaler.h"
#include "upscale/UpscaleViewModel.h"

using namespace glintwork;

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double peakResidentMiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_maxrss) / 1024.0;
}

// Smooth gradients with a little texture: content does not change the network's cost, but
// keeps the result plausible for a look.
Image makeSource(int width, int height) {
    Image image = Image::make(width, height, 8, AlphaInfo::last, ColorSpace::sRGB(), 3);
    std::uint32_t state = 12345;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            state = state * 1664525u + 1013904223u;
            const int noise = int(state >> 29) - 4;
            std::uint8_t* p = image.row(y) + x * 4;
            p[0] = std::uint8_t(std::clamp(x * 255 / width + noise, 0, 255));
            p[1] = std::uint8_t(std::clamp(y * 255 / height + noise, 0, 255));
            p[2] = std::uint8_t(std::clamp(((x / 64 + y / 64) % 2) * 120 + 60 + noise, 0, 255));
            p[3] = 255;
        }
    }
    return image;
}

UpscaleModel modelNamed(const std::string& name) {
    if (name == "fast")
        return UpscaleModel::x4fast;
    if (name != "best")
        throw std::invalid_argument("NETWORK is best or fast");
    return UpscaleModel::x4plus;
}

// The ncnn weights setup converted, for PyTorch.
QString ncnnStem(UpscaleModel model) {
    return QStringLiteral(GLINTWORK_SOURCE_DIR) + QStringLiteral("/.deps/upscayl/") +
           (model == UpscaleModel::x4fast ? QStringLiteral("realesrgan-x4fast") : QStringLiteral("realesrgan-x4plus"));
}

int benchTile(UpscaleModel model, int runs, bool withPyTorch) {
    const auto path = DnnUpscaler::modelURL(model);
    if (!path) {
        std::fprintf(stderr, "the network is not installed (scripts/setup-models)\n");
        return 1;
    }
    std::printf("OpenCV %s, %d threads\n", CV_VERSION, cv::getNumThreads());
    auto start = Clock::now();
    DnnUpscaler upscaler(model);
    std::printf("load: %.2f s\n", secondsSince(start));
    const Image tile = makeSource(512, 512);
    double best = 1e9;
    for (int run = 0; run < runs; ++run) {
        start = Clock::now();
        const Image result = upscaler.upscale(tile, 4, {});
        const double seconds = secondsSince(start);
        best = std::min(best, seconds);
        std::printf("run %d: %.2f s (%d x %d)\n", run + 1, seconds, result.width, result.height);
    }
    std::printf("ours (OpenCV DNN): %.2f s per 512x512 tile, peak resident %.0f MiB\n", best,
                peakResidentMiB());
    std::fflush(stdout);
    if (!withPyTorch)
        return 0;

    const QString source = QStringLiteral(GLINTWORK_SOURCE_DIR);
    const QString param = ncnnStem(model) + QStringLiteral(".param");
    const QString bin = ncnnStem(model) + QStringLiteral(".bin");
    if (!QFile::exists(param) || !QFile::exists(bin)) {
        std::printf("PyTorch: skipped, the ncnn weights are not in .deps/upscayl\n");
        return 0;
    }
    QProcess python;
    python.setProcessChannelMode(QProcess::ForwardedChannels);
    python.start(QStringLiteral("/usr/bin/python3"),
                 {source + QStringLiteral("/ml-conversion/compare_with_pytorch.py"), QStringLiteral("time"),
                  QStringLiteral("--ncnn"), param, bin, QStringLiteral("--threads"),
                  QString::number(cv::getNumThreads()), QStringLiteral("--runs"), QString::number(runs)});
    python.waitForFinished(-1);
    if (python.exitStatus() != QProcess::NormalExit || python.exitCode() != 0)
        std::printf("PyTorch: failed (is python3-torch installed?)\n");
    return 0;
}

int benchFile(UpscaleModel model, int width, int height) {
    QTemporaryDir dir;
    const QString input = dir.filePath(QStringLiteral("source.png"));
    ImageServices::writePNG(makeSource(width, height), input);
    UpscaleRequest request;
    request.input = QUrl::fromLocalFile(input);
    request.outputURL = QUrl::fromLocalFile(dir.filePath(QStringLiteral("result.png")));
    request.format = UpscaleOutputFormat::png;
    request.model = model;
    request.factor = 4;
    AutoTiler tiler;
    CancellationToken token;
    const double before = peakResidentMiB();
    const auto start = Clock::now();
    int tiles = 0;
    (void)upscaleFile(request, tiler, token, [&](double fraction) {
        if (fraction > 0)
            ++tiles;
        std::fprintf(stderr, "\r%3.0f%%", fraction * 100);
    });
    const double seconds = secondsSince(start);
    std::fprintf(stderr, "\n");
    std::printf("%d x %d at 4x: %d tiles, %.1f s (%.2f s per tile), peak resident %.0f MiB "
                "(%.0f MiB before the file)\n",
                width, height, tiles, seconds, seconds / std::max(tiles, 1), peakResidentMiB(), before);
    return 0;
}

int benchCli(const QString& given) {
    if (!DnnUpscaler::modelURL(UpscaleModel::x4fast)) {
        std::fprintf(stderr, "the fast network is not installed (scripts/setup-models)\n");
        return 1;
    }
    QTemporaryDir dir;
    QString input = given;
    if (input.isEmpty()) {
        input = dir.filePath(QStringLiteral("picture.png"));
        ImageServices::writePNG(makeSource(512, 512), input);
    }
    const Image picture = ImageServices::toRGBA8(ImageServices::decode(input));

    auto start = Clock::now();
    DnnUpscaler upscaler(UpscaleModel::x4fast);
    (void)upscaler.upscale(picture, 4, {}); // first pass sets OpenCV's buffers up
    std::printf("load and first pass: %.2f s\n", secondsSince(start));
    start = Clock::now();
    (void)upscaler.upscale(picture, 4, {});
    const double bare = secondsSince(start);

    const QString cli = QCoreApplication::applicationDirPath() + QStringLiteral("/glintwork-cli");
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    start = Clock::now();
    process.start(cli, {QStringLiteral("upscale"), QStringLiteral("--fast"), QStringLiteral("--scale"),
                        QStringLiteral("4"), QStringLiteral("--quiet"), QStringLiteral("--output"),
                        dir.filePath(QStringLiteral("out")), input});
    process.waitForFinished(-1);
    const double whole = secondsSince(start);
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        std::fprintf(stderr, "glintwork-cli failed\n");
        return 1;
    }
    std::printf("%d x %d at 4x, fast network: bare forward pass %.2f s, glintwork-cli upscale --fast "
                "%.2f s (%.2f x)\n",
                picture.width, picture.height, bare, whole, whole / bare);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const std::string mode = argc > 1 ? argv[1] : "tile";
    try {
        if (mode == "cli")
            return benchCli(argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString());
        const UpscaleModel model = modelNamed(argc > 2 ? argv[2] : "best");
        if (mode == "tile")
            return benchTile(model, argc > 3 ? std::atoi(argv[3]) : 2,
                             !(argc > 4 && std::string(argv[4]) == "ours"));
        if (mode == "file")
            return benchFile(model, argc > 4 ? std::atoi(argv[3]) : 2000, argc > 4 ? std::atoi(argv[4]) : 1500);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "failed: %s\n", error.what());
        return 1;
    }
    std::fprintf(stderr, "usage: bench_upscale tile [best|fast [RUNS [ours]]] | file [best|fast [WIDTH HEIGHT]] | "
                         "cli [PICTURE]\n");
    return 2;
}
