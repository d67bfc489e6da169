// The palette quantizer alone on 12-megapixel images: quantette_quantize_rgba on a buffer
// already in memory, no decoding or encoding. Run build/<preset>/bench_quantizer.

#include <cstdint>

#include <benchmark/benchmark.h>

#include "TestImages.h"
#include "quantizer/quantette.h"

namespace {

using glintwork::quantizer::test::RgbaImage;

constexpr std::uint32_t kWidth = 4000;
constexpr std::uint32_t kHeight = 3000;

const RgbaImage& photo() {
    static const RgbaImage image = glintwork::quantizer::test::photoLikeImage(kWidth, kHeight);
    return image;
}

const RgbaImage& graphic() {
    static const RgbaImage image = glintwork::quantizer::test::flatGraphic(kWidth, kHeight);
    return image;
}

void quantize(benchmark::State& state, const RgbaImage& source) {
    const auto maxColors = static_cast<std::uint32_t>(state.range(0));
    RgbaImage image = source;
    for (auto _ : state) {
        state.PauseTiming();
        image.bytes = source.bytes; // the quantizer works in place
        state.ResumeTiming();
        if (quantette_quantize_rgba(image.bytes.data(), image.width, image.height, maxColors) != 0)
            state.SkipWithError("quantizer failed");
        benchmark::DoNotOptimize(image.bytes.data());
    }
    state.counters["MP/s"] = benchmark::Counter(double(kWidth) * kHeight * 1e-6,
                                                benchmark::Counter::kIsIterationInvariantRate);
}

void BM_PhotoLike(benchmark::State& state) {
    quantize(state, photo());
}

void BM_FlatGraphic(benchmark::State& state) {
    quantize(state, graphic());
}

BENCHMARK(BM_PhotoLike)
    ->Arg(64)
    ->Arg(128)
    ->Arg(256)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(2.0);
BENCHMARK(BM_FlatGraphic)
    ->Arg(64)
    ->Arg(128)
    ->Arg(256)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(2.0);

} // namespace

BENCHMARK_MAIN();
