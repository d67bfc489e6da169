// Passes of the installed networks: GFLOP per CPU-second on the executor with 1 and 2
// threads, against an sgemm of the same machine in the same run, and against a bare OpenCV
// DNN pass of the same network on the same input (time, and how far the outputs differ).
// Usage: bench_inference MODELS_DIR [names...]; run once more with ONEDNN_MAX_CPU_ISA=AVX2.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "inference/Network.h"

#ifdef GLINTWORK_BENCH_OPENCV
#include <opencv2/core.hpp>
#include <opencv2/dnn.hpp>
#endif

using namespace glintwork::inference;

namespace {

double cpuNow() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

double wallNow() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

struct Case {
    const char* name;
    const char* file;
    int size;
    bool segmentation;
};

// A smooth picture with edges: colour ramps and a bright disc.
std::vector<float> picture(int size) {
    std::vector<float> data(3 * std::size_t(size) * std::size_t(size));
    for (int c = 0; c < 3; ++c)
        for (int y = 0; y < size; ++y)
            for (int x = 0; x < size; ++x) {
                const double dx = x - size * 0.5, dy = y - size * 0.55;
                const bool disc = dx * dx + dy * dy < size * size * 0.08;
                data[(std::size_t(c) * size + y) * size + x] =
                    disc ? 0.85f - 0.2f * c
                         : float((x * (c + 1) + y * (3 - c)) % size) / float(size) * 0.6f;
            }
    return data;
}

struct Comparison {
    double psnr = 0, mad = 0, iou = 0;
};

Comparison compare(const std::vector<float>& a, const std::vector<float>& b) {
    double squared = 0, absolute = 0, both = 0, either = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const double x = std::clamp(a[i], 0.0f, 1.0f), y = std::clamp(b[i], 0.0f, 1.0f);
        squared += (x - y) * (x - y);
        absolute += std::abs(x - y);
        both += (x >= 0.5 && y >= 0.5) ? 1 : 0;
        either += (x >= 0.5 || y >= 0.5) ? 1 : 0;
    }
    const double mse = squared / double(a.size());
    return {mse > 0 ? 10 * std::log10(1 / mse) : 999, absolute / double(a.size()),
            either > 0 ? both / either : 1};
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s MODELS_DIR [--opencv-only] [x4fast|x4plus|isnet...]\n",
                     argv[0]);
        return 2;
    }
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const std::string dir = argv[1];
    // Only the bare OpenCV passes: the reference the whole program's runs are compared with.
    std::vector<std::string> names(argv + 2, argv + argc);
    const bool opencvOnly = std::erase(names, std::string("--opencv-only")) > 0;
    const Case cases[] = {{"x4fast", "RealESRGAN_x4fast.onnx", 512, false},
                          {"x4plus", "RealESRGAN_x4plus.onnx", 160, false},
                          {"isnet", "subject-segmentation.onnx", 1024, true}};
    const char* isa = std::getenv("ONEDNN_MAX_CPU_ISA");
    std::printf("ISA limit: %s\n", isa ? isa : "none (all the CPU has)");
    for (const int threads : {1, 2}) {
        const int n = 1024;
        const double seconds = Network::sgemmCpuSeconds(n, threads);
        std::printf("sgemm %d, %d thread(s): %.1f GFLOP per CPU-second\n", n, threads,
                    2.0 * n * n * n / seconds / 1e9);
    }
    for (const Case& c : cases) {
        const bool chosen =
            names.empty() || std::find(names.begin(), names.end(), c.name) != names.end();
        if (!chosen)
            continue;
        const std::string path = dir + "/" + c.file;
        std::shared_ptr<Network> network;
        try {
            network = Network::load(path);
        } catch (const std::exception& error) {
            std::printf("%s: %s\n", c.name, error.what());
            continue;
        }
        const std::vector<float> input = picture(c.size);
        const Shape shape{1, 3, c.size, c.size};
        const std::string inputName = network->inputs().front().name;
        // Float32 with Winograd where offered, float32 direct only, and bf16 where the CPU has
        // bf16 instructions (direct only: oneDNN's Winograd is float32).
        struct Variant {
            const char* label;
            bool winograd;
            Precision precision;
            std::vector<float> output;
        };
        std::vector<Variant> variants{{"winograd", true, Precision::full, {}},
                                      {"direct", false, Precision::full, {}}};
        if (Network::hasNativeBf16())
            variants.push_back({"bf16", false, Precision::bf16, {}});
        if (opencvOnly)
            variants.clear();
        for (Variant& v : variants) {
            Network::setWinogradAllowed(v.winograd);
            Network::setPrecision(v.precision);
            Network::setThreadLimit(0);
            double start = wallNow();
            auto result = network->run({{inputName, shape, input.data()}});
            std::printf("%s %dx%d %s: first pass (plans, reorders weights) %.2f s\n", c.name,
                        c.size, c.size, v.label, wallNow() - start);
            v.output = std::move(result.front().data);
            for (const int threads : {1, 2}) {
                Network::setThreadLimit(threads);
                start = wallNow();
                const double cpu = cpuNow();
                (void)network->run({{inputName, shape, input.data()}});
                const double cpuSeconds = cpuNow() - cpu, wall = wallNow() - start;
                const double gflop = network->lastPassOperations() / 1e9;
                const double sgemm =
                    2.0 * 1024 * 1024 * 1024 / Network::sgemmCpuSeconds(1024, threads) / 1e9;
                std::printf("  %d thread(s): %.2f s wall, %.2f CPU-s, %.0f GFLOP, %.1f GFLOP/CPU-s "
                            "= %.2f of sgemm\n",
                            threads, wall, cpuSeconds, gflop, gflop / cpuSeconds,
                            gflop / cpuSeconds / sgemm);
            }
        }
        Network::setWinogradAllowed(true);
        Network::setPrecision(Precision::automatic);
        Network::setThreadLimit(0);
        for (std::size_t i = 1; i < variants.size(); ++i) {
            const Comparison r = compare(variants[i].output, variants.front().output);
            std::printf("  %s vs %s: PSNR %.1f dB, MAD %.5f (%.2f/255), IoU@0.5 %.4f\n",
                        variants[i].label, variants.front().label, r.psnr, r.mad, r.mad * 255,
                        r.iou);
        }
#ifdef GLINTWORK_BENCH_OPENCV
        cv::dnn::Net net = cv::dnn::readNetFromONNX(path);
        const int dims[] = {1, 3, c.size, c.size};
        cv::Mat blob(4, dims, CV_32F, const_cast<float*>(input.data()));
        net.setInput(blob);
        double start = wallNow();
        double cpu = cpuNow();
        cv::Mat first = net.forward().clone(); // OpenCV also prepares on its first pass
        std::printf("  OpenCV DNN first pass: %.2f s wall, %.2f CPU-s\n", wallNow() - start,
                    cpuNow() - cpu);
        net.setInput(blob);
        start = wallNow();
        cpu = cpuNow();
        cv::Mat out = net.forward().clone();
        std::printf("  OpenCV DNN bare pass: %.2f s wall, %.2f CPU-s (%d threads)\n",
                    wallNow() - start, cpuNow() - cpu, cv::getNumThreads());
        const std::vector<float> reference(out.ptr<float>(), out.ptr<float>() + out.total());
        if (!variants.empty() && reference.size() == variants.front().output.size()) {
            for (const Variant& v : variants) {
                const Comparison r = compare(v.output, reference);
                std::printf("  %s vs OpenCV: PSNR %.1f dB, MAD %.5f (%.2f/255), IoU@0.5 %.4f\n",
                            v.label, r.psnr, r.mad, r.mad * 255, r.iou);
            }
        }
#endif
    }
    return 0;
}
