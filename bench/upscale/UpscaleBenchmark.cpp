// Speed and memory of the general 4x network.
//
//   bench_upscale tile [RUNS [ours]]   seconds per 512 × 512 tile on OpenCV DNN (best of
//                                      RUNS, default 2), then, unless "ours" is given, the
//                                      same network on the same weights in PyTorch (CPU, as
//                                      many threads)
//   bench_upscale file [WIDTH HEIGHT]  one whole file (default 2000 × 1500) at 4x through
//                                      the upscale pipeline: wall time and peak resident memory
//
// Each mode reports the peak resident memory of its own process, so run them one by one.

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
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

int benchTile(int runs, bool withPyTorch) {
    const auto path = DnnUpscaler::modelURL(UpscaleModel::x4plus);
    if (!path) {
        std::fprintf(stderr, "the general 4x network is not installed (scripts/setup-models)\n");
        return 1;
    }
    std::printf("OpenCV %s, %d threads\n", CV_VERSION, cv::getNumThreads());
    auto start = Clock::now();
    DnnUpscaler upscaler(UpscaleModel::x4plus);
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
    const QString param = source + QStringLiteral("/.deps/upscayl/realesrgan-x4plus.param");
    const QString bin = source + QStringLiteral("/.deps/upscayl/realesrgan-x4plus.bin");
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

int benchFile(int width, int height) {
    QTemporaryDir dir;
    const QString input = dir.filePath(QStringLiteral("source.png"));
    ImageServices::writePNG(makeSource(width, height), input);
    UpscaleRequest request;
    request.input = QUrl::fromLocalFile(input);
    request.outputURL = QUrl::fromLocalFile(dir.filePath(QStringLiteral("result.png")));
    request.format = UpscaleOutputFormat::png;
    request.model = UpscaleModel::x4plus;
    request.factor = 4;
    AutoTiler tiler;
    CancellationToken token;
    const double before = peakResidentMiB();
    const auto start = Clock::now();
    int tiles = 0;
    upscaleFile(request, tiler, token, [&](double fraction) {
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

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const std::string mode = argc > 1 ? argv[1] : "tile";
    try {
        if (mode == "tile")
            return benchTile(argc > 2 ? std::atoi(argv[2]) : 2, !(argc > 3 && std::string(argv[3]) == "ours"));
        if (mode == "file")
            return benchFile(argc > 3 ? std::atoi(argv[2]) : 2000, argc > 3 ? std::atoi(argv[3]) : 1500);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "failed: %s\n", error.what());
        return 1;
    }
    std::fprintf(stderr, "usage: bench_upscale tile [RUNS [ours]] | file [WIDTH HEIGHT]\n");
    return 2;
}
