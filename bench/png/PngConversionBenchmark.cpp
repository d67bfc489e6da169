// Times the PNG path of the compress tool against pngquant on the same inputs, at the same
// palette sizes, and measures what each gives back: PSNR against the source and mean
// Oklab distance (both over RGB, on the decoded outputs). A second table splits our conversion
// at 256 colours into its stages. Run on an idle machine:
//   build/dev/bench_png_conversion [work-folder]

#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <random>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStringList>
#include <QStandardPaths>
#include <QTemporaryDir>

#include "platform/ImageServices.h"
#include "platform/IndexedPNGWriter.h"
#include "compress/PNGQuantizer.h"
#include "quantizer/quantette.h"

using namespace glintwork;

namespace {

Image photoLike(int width, int height) {
    Image image = Image::make(width, height, 8, AlphaInfo::none, ColorSpace::sRGB(), 3);
    std::mt19937 random(7);
    std::uniform_int_distribution<int> noise(-6, 6);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const double u = double(x) / width;
            const double v = double(y) / height;
            // Sky-to-ground gradients, a soft sun, a few hard-edged objects and sensor noise.
            double r = 70 + 120 * v + 40 * std::sin(7 * u + 3 * v);
            double g = 110 + 80 * (1 - v) + 30 * std::cos(5 * u);
            double b = 200 - 150 * v + 20 * std::sin(11 * v);
            const double sun = std::exp(-((u - 0.7) * (u - 0.7) + (v - 0.25) * (v - 0.25)) * 60);
            r += 120 * sun;
            g += 100 * sun;
            b += 40 * sun;
            if ((x / 300 + y / 200) % 7 == 0) {
                r = 0.4 * r + 20;
                g = 0.5 * g + 60;
                b = 0.3 * b;
            }
            std::uint8_t* p = image.row(y) + 3 * x;
            p[0] = static_cast<std::uint8_t>(std::clamp(r + noise(random), 0.0, 255.0));
            p[1] = static_cast<std::uint8_t>(std::clamp(g + noise(random), 0.0, 255.0));
            p[2] = static_cast<std::uint8_t>(std::clamp(b + noise(random), 0.0, 255.0));
        }
    }
    return image;
}

// A chart-like graphic: flat fills, thin lines and anti-aliased circle edges.
Image flatGraphic(int width, int height) {
    Image image = Image::make(width, height, 8, AlphaInfo::none, ColorSpace::sRGB(), 3);
    const std::uint8_t fills[6][3] = {{255, 255, 255}, {33, 99, 196}, {240, 160, 30},
                                      {60, 170, 90},   {200, 50, 60}, {40, 40, 48}};
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const std::uint8_t* fill = fills[((x / 250) + (y / 180) * 3) % 5];
            if (x % 100 == 0 || y % 100 == 0)
                fill = fills[5];
            double cover = 0;
            const double dx = x - width * 0.5;
            const double dy = y - height * 0.5;
            const double distance = std::sqrt(dx * dx + dy * dy) - height * 0.3;
            cover = std::clamp(0.5 - distance, 0.0, 1.0);
            std::uint8_t* p = image.row(y) + 3 * x;
            for (int c = 0; c < 3; ++c)
                p[c] = static_cast<std::uint8_t>(std::lround(fill[c] * (1 - cover) + fills[4][c] * cover));
        }
    }
    return image;
}

double linear(double c) {
    c /= 255.0;
    return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

void oklab(const std::uint8_t* p, double out[3]) {
    const double r = linear(p[0]), g = linear(p[1]), b = linear(p[2]);
    const double l = std::cbrt(0.4122214708 * r + 0.5363325363 * g + 0.0514459929 * b);
    const double m = std::cbrt(0.2119034982 * r + 0.6806995451 * g + 0.1073969566 * b);
    const double s = std::cbrt(0.0883024619 * r + 0.2817188376 * g + 0.6299787005 * b);
    out[0] = 0.2104542553 * l + 0.7936177850 * m - 0.0040720468 * s;
    out[1] = 1.9779984951 * l - 2.4285922050 * m + 0.4505937099 * s;
    out[2] = 0.0259040371 * l + 0.7827717662 * m - 0.8086757660 * s;
}

struct Quality {
    double psnr;
    double oklab;
};

Quality compare(const Image& source, const QString& outputPath) {
    const Image a = ImageServices::toRGBA8(source);
    const Image b = ImageServices::toRGBA8(ImageServices::decode(outputPath));
    double squared = 0;
    double distance = 0;
    const std::size_t pixels = std::size_t(a.width) * a.height;
    for (int y = 0; y < a.height; ++y) {
        for (int x = 0; x < a.width; ++x) {
            const std::uint8_t* p = a.row(y) + 4 * x;
            const std::uint8_t* q = b.row(y) + 4 * x;
            for (int c = 0; c < 3; ++c)
                squared += double(p[c] - q[c]) * (p[c] - q[c]);
            double lp[3], lq[3];
            oklab(p, lp);
            oklab(q, lq);
            distance += std::sqrt((lp[0] - lq[0]) * (lp[0] - lq[0]) + (lp[1] - lq[1]) * (lp[1] - lq[1]) +
                                  (lp[2] - lq[2]) * (lp[2] - lq[2]));
        }
    }
    const double mse = squared / (3.0 * pixels);
    return {10 * std::log10(255.0 * 255.0 / std::max(mse, 1e-12)), distance / pixels};
}

double processCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

struct StageTime {
    double wall = 1e9;
    double cpu = 1e9;
};

// Best wall time and best CPU time (all threads of the process) of one stage over several runs;
// prepare runs untimed before each.
template <typename Prepare, typename F>
StageTime bestStage(int runs, Prepare&& prepare, F&& work) {
    StageTime best;
    for (int i = 0; i < runs; ++i) {
        prepare();
        const double cpu = processCpuSeconds();
        const auto start = std::chrono::steady_clock::now();
        work();
        best.wall = std::min(
            best.wall,
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        best.cpu = std::min(best.cpu, processCpuSeconds() - cpu);
    }
    return best;
}

// Where the whole conversion's time goes, at 256 colours: decoding the source, quantizing the
// RGBA buffer, writing the palette PNG (packing and compositing the buffer in between is
// what remains of the whole).
void printStages(const QString& folder, const QStringList& sources, const QStringList& names) {
    std::printf("\n| image | decode | quantize | write palette PNG | (wall / CPU, s) |\n");
    std::printf("|---|---|---|---|---|\n");
    for (qsizetype i = 0; i < sources.size(); ++i) {
        Image decoded;
        const StageTime decode = bestStage(
            3, [] {}, [&] { decoded = ImageServices::decode(sources[i]); });
        const Image rgba = ImageServices::toRGBA8(decoded);
        Image work;
        const StageTime quantize = bestStage(
            3, [&] { work = rgba; },
            [&] {
                if (quantette_quantize_rgba(work.pixels.data(), std::uint32_t(work.width),
                                            std::uint32_t(work.height), 256) != 0)
                    std::printf("quantizer failed\n");
            });
        const QString out = QDir(folder).filePath(QStringLiteral("stage%1.png").arg(i));
        const StageTime write = bestStage(
            3, [] {},
            [&] {
                if (!writeIndexedPNG(work.pixels.data(), work.width, work.height, out))
                    std::printf("more than 256 colours\n");
            });
        std::printf("| %s | %.2f / %.2f | %.2f / %.2f | %.2f / %.2f | |\n",
                    names[i].toUtf8().constData(), decode.wall, decode.cpu, quantize.wall,
                    quantize.cpu, write.wall, write.cpu);
        std::fflush(stdout);
    }
}

template <typename F>
double bestSeconds(int runs, F&& work) {
    double best = 1e9;
    for (int i = 0; i < runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        work();
        best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    return best;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir scratch;
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : scratch.path();
    QDir().mkpath(folder);
    const QString pngquant = QStandardPaths::findExecutable(QStringLiteral("pngquant"));

    const struct {
        const char* name;
        Image image;
    } inputs[] = {{"photo-like 4000x3000", photoLike(4000, 3000)},
                  {"flat graphic 4000x3000", flatGraphic(4000, 3000)}};

    std::printf("| image | colours | tool | time (s) | PSNR (dB) | mean Oklab ΔE | size (kB) |\n");
    std::printf("|---|---|---|---|---|---|---|\n");
    int index = 0;
    QStringList sources;
    QStringList names;
    for (const auto& input : inputs) {
        const QString source = QDir(folder).filePath(QStringLiteral("source%1.png").arg(index++));
        sources << source;
        names << QString::fromUtf8(input.name);
        ImageServices::writePNG(input.image, source);
        for (const int colors : {64, 128, 256}) {
            const int quality = colors == 64 ? 50 : colors == 128 ? 75 : 100;
            const QString ours = source + QStringLiteral(".ours%1.png").arg(colors);
            const double ourTime = bestSeconds(3, [&] {
                PNGQuantizer::quantize(source, ours, quality, std::nullopt, std::nullopt);
            });
            const Quality ourQuality = compare(input.image, ours);
            std::printf("| %s | %d | Glintwork | %.2f | %.2f | %.4f | %lld |\n", input.name, colors,
                        ourTime, ourQuality.psnr, ourQuality.oklab, QFileInfo(ours).size() / 1000);
            std::fflush(stdout);
            if (pngquant.isEmpty())
                continue;
            const QString theirs = source + QStringLiteral(".pngquant%1.png").arg(colors);
            const double theirTime = bestSeconds(3, [&] {
                QProcess::execute(pngquant, {QStringLiteral("--force"), QStringLiteral("--output"), theirs,
                                             QString::number(colors), source});
            });
            const Quality theirQuality = compare(input.image, theirs);
            std::printf("| %s | %d | pngquant | %.2f | %.2f | %.4f | %lld |\n", input.name, colors,
                        theirTime, theirQuality.psnr, theirQuality.oklab, QFileInfo(theirs).size() / 1000);
            std::fflush(stdout);
        }
    }
    if (pngquant.isEmpty())
        std::printf("\npngquant is not installed; only Glintwork was measured.\n");
    printStages(folder, sources, names);
    return 0;
}
