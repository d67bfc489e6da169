// Speed and memory of the 4x networks: NETWORK is "best" (the general network, the default)
// or "fast" (the compact one).
//
//   bench_upscale tile [NETWORK [RUNS [ours]]]  seconds per 512 × 512 tile on OpenCV DNN
//                                      (best of RUNS, default 2), then, unless "ours" is
//                                      given, the same network on the same weights in PyTorch
//                                      (CPU, as many threads)
//   bench_upscale file [NETWORK [WIDTH HEIGHT [SCALE [alpha]]]]  one whole file (default
//                                      2000 × 1500) at SCALE (4, or 2) through the upscale
//                                      pipeline: wall time and peak resident memory. NETWORK
//                                      may also be "trivial": a nearest-neighbour 4x network
//                                      written here, which costs next to nothing, so the
//                                      pipeline's own memory shows. "alpha" gives the source
//                                      a soft-edged transparent hole.
//   bench_upscale alpha [SIDE [EDGE]]   a soft-edged alpha (SIDE × SIDE, default 160) made from
//                                      one 4 times larger whose edges are EDGE pixels wide
//                                      (default 12), enlarged back 4x by the Lanczos
//                                      filter and by the fast network on it as grey; errors
//                                      against the larger original
//   bench_upscale cli [PICTURE]        a picture (default: a generated 512 × 512 one) through
//                                      glintwork-cli upscale --fast at 4x, against one bare
//                                      forward pass of the fast network on it in this process
//
// Each mode reports the peak resident memory of its own process, so run them one by one.

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>

#include <opencv2/core.hpp>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QUrl>

#include "platform/CancellationToken.h"
#include "platform/ImageServices.h"
#include "upscale/AlphaEnlargement.h"
#include "upscale/AutoTiler.h"
#include "upscale/DnnUpscaler.h"
#include "upscale/UpscaleDriver.h"

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
    if (name != "best" && name != "trivial")
        throw std::invalid_argument("NETWORK is best, fast or trivial");
    return UpscaleModel::x4plus;
}

// Nearest-neighbour 4x for any size, as ONNX, made by Debian's python3-onnx.
const char* const kTrivialNetwork = R"PY(
import sys
import numpy as np
import onnx
from onnx import helper, TensorProto, numpy_helper
inits = [numpy_helper.from_array(np.asarray(v, np.float32), n) for n, v in (("roi", []), ("scales", [1, 1, 4, 4]))]
node = helper.make_node("Resize", ["x", "roi", "scales"], ["output"], mode="nearest",
                        coordinate_transformation_mode="asymmetric", nearest_mode="floor")
graph = helper.make_graph([node], "trivial", [helper.make_tensor_value_info("x", TensorProto.FLOAT, [1, 3, "h", "w"])],
                          [helper.make_tensor_value_info("output", TensorProto.FLOAT, [1, 3, "oh", "ow"])], initializer=inits)
model = helper.make_model(graph, opset_imports=[helper.make_opsetid("", 13)])
model.ir_version = 7
onnx.save(model, sys.argv[1])
)PY";

// Points the resources at a folder whose general 4x network is the trivial one.
void installTrivialNetwork(const QTemporaryDir& dir) {
    const QString models = dir.filePath(QStringLiteral("Resources/models"));
    QDir().mkpath(models);
    QProcess python;
    python.start(QStringLiteral("/usr/bin/python3"),
                 {QStringLiteral("-c"), QString::fromUtf8(kTrivialNetwork),
                  models + QStringLiteral("/RealESRGAN_x4plus.onnx")});
    if (!python.waitForFinished(60000) || python.exitCode() != 0)
        throw std::runtime_error(
            "/usr/bin/python3 with python3-onnx could not write the trivial network");
    qputenv("GLINTWORK_RESOURCES", dir.filePath(QStringLiteral("Resources")).toUtf8());
}

// A soft-edged disc of alpha, 255 inside, over `edge` pixels down to 0, on a side × side
// grid; and the same with a ring of partial cover, so more than one level of alpha matters.
double softShape(double x, double y, double side, double edge) {
    const double r = std::hypot(x - side * 0.45, y - side * 0.5);
    const double disc = std::clamp((side * 0.3 - r) / edge + 0.5, 0.0, 1.0);
    const double ring =
        std::clamp((side * 0.06 - std::abs(r - side * 0.4)) / edge + 0.5, 0.0, 1.0) * 0.5;
    return std::max(disc, ring);
}

// The ncnn weights setup converted, for PyTorch.
QString ncnnStem(UpscaleModel model) {
    return QStringLiteral(GLINTWORK_SOURCE_DIR) + QStringLiteral("/.deps/upscayl/") +
           (model == UpscaleModel::x4fast ? QStringLiteral("realesrgan-x4fast")
                                          : QStringLiteral("realesrgan-x4plus"));
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
                 {source + QStringLiteral("/ml-conversion/compare_with_pytorch.py"),
                  QStringLiteral("time"), QStringLiteral("--ncnn"), param, bin,
                  QStringLiteral("--threads"), QString::number(cv::getNumThreads()),
                  QStringLiteral("--runs"), QString::number(runs)});
    python.waitForFinished(-1);
    if (python.exitStatus() != QProcess::NormalExit || python.exitCode() != 0)
        std::printf("PyTorch: failed (is python3-torch installed?)\n");
    return 0;
}

int benchFile(UpscaleModel model, bool trivial, int width, int height, int scale, bool alpha) {
    QTemporaryDir dir;
    if (trivial)
        installTrivialNetwork(dir);
    const QString input = dir.filePath(QStringLiteral("source.png"));
    {
        Image source = makeSource(width, height);
        if (alpha) {
            for (int y = 0; y < height; ++y)
                for (int x = 0; x < width; ++x)
                    source.row(y)[x * 4 + 3] = std::uint8_t(
                        std::lround(255 * (1 - softShape(x, y, std::min(width, height), 6))));
        }
        ImageServices::writePNG(source, input);
    }
    UpscaleRequest request;
    request.input = QUrl::fromLocalFile(input);
    request.outputURL = QUrl::fromLocalFile(dir.filePath(QStringLiteral("result.png")));
    request.format = UpscaleOutputFormat::png;
    request.model = model;
    request.factor = scale;
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
    std::printf("%d x %d%s at %dx: %d tiles, %.1f s (%.2f s per tile), peak resident %.0f MiB "
                "(%.0f MiB before the file)\n",
                width, height, alpha ? " with alpha" : "", scale, tiles, seconds,
                seconds / std::max(tiles, 1), peakResidentMiB(), before);
    return 0;
}

struct AlphaError {
    double meanAbsolute = 0;
    int largest = 0;
    double psnr = 0;
};

// Against the larger original, in levels of 0–255.
AlphaError compare(const std::vector<double>& truth, const std::vector<int>& values) {
    AlphaError error;
    double squares = 0;
    for (std::size_t i = 0; i < truth.size(); ++i) {
        const double d = values[i] - truth[i];
        error.meanAbsolute += std::abs(d);
        squares += d * d;
        error.largest = std::max(error.largest, int(std::lround(std::abs(d))));
    }
    error.meanAbsolute /= double(truth.size());
    error.psnr = 10 * std::log10(255.0 * 255.0 / std::max(squares / double(truth.size()), 1e-9));
    return error;
}

int benchAlpha(int side, double edge) {
    if (!DnnUpscaler::modelURL(UpscaleModel::x4fast)) {
        std::fprintf(stderr, "the fast network is not installed (scripts/setup-models)\n");
        return 1;
    }
    const int large = side * 4;
    std::vector<double> truth(std::size_t(large) * std::size_t(large));
    for (int y = 0; y < large; ++y)
        for (int x = 0; x < large; ++x)
            truth[std::size_t(y) * std::size_t(large) + std::size_t(x)] =
                255 * softShape(x + 0.5, y + 0.5, large, edge);
    // The source is the large alpha averaged over 4 × 4 blocks, as a camera's pixels would be.
    AlphaPlane small{side, side, std::vector<std::uint8_t>(std::size_t(side) * std::size_t(side))};
    Image grey = Image::make(side, side, 8, AlphaInfo::last, ColorSpace::sRGB(), 3);
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x) {
            double sum = 0;
            for (int dy = 0; dy < 4; ++dy)
                for (int dx = 0; dx < 4; ++dx)
                    sum += truth[std::size_t(y * 4 + dy) * std::size_t(large) +
                                 std::size_t(x * 4 + dx)];
            const auto value = std::uint8_t(std::lround(sum / 16));
            small.bytes[std::size_t(y) * std::size_t(side) + std::size_t(x)] = value;
            std::fill_n(grey.row(y) + x * 4, 3, value);
            grey.row(y)[x * 4 + 3] = 255;
        }

    auto start = Clock::now();
    Image canvas = Image::make(large, large, 8, AlphaInfo::last, ColorSpace::sRGB(), 3);
    enlargeAlphaInto(small, 4, canvas);
    const double lanczosSeconds = secondsSince(start);
    std::vector<int> lanczos(truth.size());
    for (int y = 0; y < large; ++y)
        for (int x = 0; x < large; ++x)
            lanczos[std::size_t(y) * std::size_t(large) + std::size_t(x)] =
                canvas.row(y)[x * 4 + 3];

    DnnUpscaler upscaler(UpscaleModel::x4fast);
    start = Clock::now();
    const Image enlarged = upscaler.upscale(grey, 4, {});
    const double networkSeconds = secondsSince(start);
    std::vector<int> network(truth.size());
    for (int y = 0; y < large; ++y)
        for (int x = 0; x < large; ++x) {
            const std::uint8_t* p = enlarged.row(y) + x * 4;
            network[std::size_t(y) * std::size_t(large) + std::size_t(x)] =
                (p[0] + p[1] + p[2] + 1) / 3;
        }

    // Where it matters: the pixels of the edges, neither fully covered nor empty.
    std::vector<double> edgeTruth;
    std::vector<int> edgeLanczos, edgeNetwork;
    for (std::size_t i = 0; i < truth.size(); ++i) {
        if (truth[i] > 0.5 && truth[i] < 254.5) {
            edgeTruth.push_back(truth[i]);
            edgeLanczos.push_back(lanczos[i]);
            edgeNetwork.push_back(network[i]);
        }
    }
    const auto print = [](const char* what, const AlphaError& all, const AlphaError& edges,
                          double seconds) {
        std::printf("%-28s mean |error| %.2f (edges %.2f), largest %d (edges %d), PSNR %.1f dB "
                    "(edges %.1f dB), %.3f s\n",
                    what, all.meanAbsolute, edges.meanAbsolute, all.largest, edges.largest,
                    all.psnr, edges.psnr, seconds);
    };
    std::printf("%d x %d alpha to %d x %d, edges %g px wide at the large size (%zu partly "
                "covered pixels)\n",
                side, side, large, large, edge, edgeTruth.size());
    print("Lanczos-3", compare(truth, lanczos), compare(edgeTruth, edgeLanczos), lanczosSeconds);
    print("fast network on grey", compare(truth, network), compare(edgeTruth, edgeNetwork),
          networkSeconds);
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
    process.start(cli, {QStringLiteral("upscale"), QStringLiteral("--fast"),
                        QStringLiteral("--scale"), QStringLiteral("4"), QStringLiteral("--quiet"),
                        QStringLiteral("--output"), dir.filePath(QStringLiteral("out")), input});
    process.waitForFinished(-1);
    const double whole = secondsSince(start);
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        std::fprintf(stderr, "glintwork-cli failed\n");
        return 1;
    }
    std::printf(
        "%d x %d at 4x, fast network: bare forward pass %.2f s, glintwork-cli upscale --fast "
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
        if (mode == "alpha")
            return benchAlpha(argc > 2 ? std::atoi(argv[2]) : 160, argc > 3 ? std::atof(argv[3]) : 12);
        const UpscaleModel model = modelNamed(argc > 2 ? argv[2] : "best");
        if (mode == "tile")
            return benchTile(model, argc > 3 ? std::atoi(argv[3]) : 2,
                             !(argc > 4 && std::string(argv[4]) == "ours"));
        if (mode == "file")
            return benchFile(
                model, argc > 2 && std::string(argv[2]) == "trivial",
                argc > 4 ? std::atoi(argv[3]) : 2000, argc > 4 ? std::atoi(argv[4]) : 1500,
                argc > 5 ? std::atoi(argv[5]) : 4, argc > 6 && std::string(argv[6]) == "alpha");
    } catch (const std::exception& error) {
        std::fprintf(stderr, "failed: %s\n", error.what());
        return 1;
    }
    std::fprintf(
        stderr,
        "usage: bench_upscale tile [best|fast [RUNS [ours]]] | "
        "file [best|fast|trivial [WIDTH HEIGHT [SCALE [alpha]]]] | alpha [SIDE [EDGE]] | cli [PICTURE]\n");
    return 2;
}
