#include "quantizer/FloatContract.h"

#include "quantizer/PaletteQuantizer.h"

#include <algorithm>
#include <atomic>
#include <optional>
#include <system_error>
#include <thread>

#include "quantizer/ColorHistogram.h"
#include "quantizer/OnlineKMeans.h"
#include "quantizer/PaletteSearch.h"
#include "quantizer/SerpentineDither.h"
#include "quantizer/WuPalette.h"

namespace glintwork::quantizer {

namespace {

// The histogram is summed in double precision, whose rounding depends on the order of the
// additions. Splitting the pixels into a number of chunks that depends only on the pixel count,
// and merging the chunks' histograms in order, keeps the sums (and so the palette) identical
// whatever the number of threads that share the work.
constexpr std::size_t kPixelsPerChunk = std::size_t{1} << 18;
constexpr std::size_t kMaxChunks = 8;
// Pixels converted at a time on their way into the histogram: small enough to stay in cache.
constexpr std::size_t kBlock = 4096;
// Pixels per band of the remapping stage, converted one band ahead on a second thread.
constexpr std::size_t kBandPixels = std::size_t{1} << 16;

std::size_t chunkCountFor(std::size_t pixels) {
    return std::clamp<std::size_t>(pixels / kPixelsPerChunk, 1, kMaxChunks);
}

std::size_t threadBudget(std::uint32_t maxThreads) {
    return maxThreads > 0 ? maxThreads : std::max(1u, std::thread::hardware_concurrency());
}

void stopIfAsked(const PaletteQuantizer::ShouldStop& shouldStop) {
    if (shouldStop && shouldStop())
        throw PaletteQuantizer::Cancelled();
}

// The pixels are converted to Oklab here and again while remapping rather than kept: a stored
// copy of a 12-megapixel image is 144 MB, and writing that much fresh memory (page faults
// included) costs more than converting twice.
ColorHistogram countColors(const std::uint8_t* rgba, std::size_t pixels,
                           const SrgbToOklab& converter,
                           const PaletteQuantizer::ShouldStop& shouldStop, std::size_t threads) {
    const std::size_t chunkCount = chunkCountFor(pixels);
    const std::size_t threadCount = std::min(threads, chunkCount);
    std::vector<ColorHistogram> histograms(chunkCount);
    std::vector<std::vector<Oklab>> scratch(threadCount, std::vector<Oklab>(kBlock));
    std::atomic<std::size_t> nextChunk{0};
    // Only the calling thread asks; the helpers see its answer here.
    std::atomic<bool> stopped{false};
    auto work = [&](std::size_t thread) {
        Oklab* lab = scratch[thread].data();
        for (std::size_t c = nextChunk++; c < chunkCount; c = nextChunk++) {
            if (thread == 0 && shouldStop && shouldStop())
                stopped = true;
            if (stopped)
                return;
            const std::size_t begin = pixels * c / chunkCount;
            const std::size_t end = pixels * (c + 1) / chunkCount;
            for (std::size_t i = begin; i < end; i += kBlock) {
                const std::size_t count = std::min(kBlock, end - i);
                converter.convertRgba(rgba + 4 * i, lab, count);
                histograms[c].add({lab, count});
            }
        }
    };
    {
        std::vector<std::jthread> helpers;
        helpers.reserve(threadCount - 1);
        for (std::size_t t = 1; t < threadCount; ++t)
            helpers.emplace_back(work, t);
        work(0);
    }
    if (stopped)
        throw PaletteQuantizer::Cancelled();
    for (std::size_t c = 1; c < chunkCount; ++c)
        histograms[0].merge(histograms[c]);
    return std::move(histograms[0]);
}

// Remaps the image band by band; while one band is dithered (which must run in order) the next
// is converted on another thread. If no thread can be started the conversion runs inline, so
// once the first pixel is written nothing can fail; only a stop asked for ends it early.
void remap(std::uint8_t* rgba, std::size_t width, std::size_t height, const SrgbToOklab& converter,
           SerpentineDither& dither, const PaletteQuantizer::ShouldStop& shouldStop,
           std::size_t threads) {
    const std::size_t bandRows = std::clamp<std::size_t>(kBandPixels / width, 1, height);
    std::vector<Oklab> current(bandRows * width);
    std::vector<Oklab> next(bandRows * width);
    const bool helperAllowed = threads > 1;
    auto convertBand = [&](std::size_t firstRow, std::vector<Oklab>& out) {
        const std::size_t rows = std::min(bandRows, height - firstRow);
        converter.convertRgba(rgba + 4 * firstRow * width, out.data(), rows * width);
    };

    convertBand(0, current);
    for (std::size_t firstRow = 0; firstRow < height; firstRow += bandRows) {
        stopIfAsked(shouldStop);
        const std::size_t nextRow = firstRow + bandRows;
        std::optional<std::jthread> helper;
        if (nextRow < height && helperAllowed) {
            try {
                helper.emplace(convertBand, nextRow, std::ref(next));
            } catch (const std::system_error&) {
                helper.reset();
            }
        }
        const std::size_t rows = std::min(bandRows, height - firstRow);
        for (std::size_t r = 0; r < rows; ++r) {
            const std::size_t y = firstRow + r;
            dither.remapRow(y, current.data() + r * width, rgba + 4 * y * width);
        }
        if (helper)
            helper->join();
        else if (nextRow < height)
            convertBand(nextRow, next);
        std::swap(current, next);
    }
}

} // namespace

PaletteQuantizer::Result PaletteQuantizer::quantize(std::uint8_t* rgba, std::uint32_t width,
                                                    std::uint32_t height, std::uint32_t maxColors,
                                                    const ShouldStop& shouldStop,
                                                    std::uint32_t maxThreads) {
    const std::size_t pixels = std::size_t{width} * height;
    const std::size_t threads = threadBudget(maxThreads);
    const SrgbToOklab converter;
    const ColorHistogram histogram = countColors(rgba, pixels, converter, shouldStop, threads);
    stopIfAsked(shouldStop);

    Result result;
    const std::vector<Oklab> initial = wuPalette(histogram, maxColors);
    if (initial.empty())
        return result;
    PaletteSearch search(initial);
    stopIfAsked(shouldStop);
    OnlineKMeans::refine(search, rgba, pixels, converter);

    result.palette.reserve(search.size());
    result.paletteColors.reserve(search.size());
    for (std::size_t i = 0; i < search.size(); ++i) {
        result.palette.push_back(search.color(i));
        result.paletteColors.push_back(srgb8FromOklab(search.color(i)));
    }

    SerpentineDither dither(search, result.paletteColors, width);
    remap(rgba, width, height, converter, dither, shouldStop, threads);
    return result;
}

} // namespace glintwork::quantizer
