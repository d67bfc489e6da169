#include "upscale/AlphaEnlargement.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

namespace glintwork {

namespace {

constexpr int kLobes = 3;
// Taps either side of the nearest source pixel: the filter reaches three source pixels
// from an output pixel's centre, which lies within half a pixel of a source centre.
constexpr int kTaps = 2 * kLobes + 1;

double lanczos(double x) {
    if (x == 0)
        return 1;
    if (std::abs(x) >= kLobes)
        return 0;
    const double px = std::numbers::pi * x;
    return kLobes * std::sin(px) * std::sin(px / kLobes) / (px * px);
}

// An enlargement by a whole factor has `factor` phases: output pixel o sits at
// o / factor + offset[o % factor] in source pixels, and the same weights serve every output
// pixel of one phase.
using Weights = std::array<float, kTaps>;

std::vector<Weights> phaseWeights(int factor) {
    std::vector<Weights> phases(static_cast<std::size_t>(factor));
    for (int p = 0; p < factor; ++p) {
        const double offset = (p + 0.5) / factor - 0.5;
        double sum = 0;
        for (int k = 0; k < kTaps; ++k)
            sum += lanczos(double(k - kLobes) - offset);
        for (int k = 0; k < kTaps; ++k)
            phases[std::size_t(p)][std::size_t(k)] =
                float(lanczos(double(k - kLobes) - offset) / sum);
    }
    return phases;
}

int clampIndex(int i, int size) {
    return std::clamp(i, 0, size - 1);
}

} // namespace

std::optional<AlphaPlane> alphaPlaneOf(const Image& rgba8) {
    if (rgba8.bitsPerComponent != 8 || rgba8.bitsPerPixel != 32 || rgba8.isFloat ||
        !rgba8.hasAlpha() || rgba8.isEmpty())
        return std::nullopt;
    bool opaque = true;
    for (int y = 0; y < rgba8.height && opaque; ++y) {
        const std::uint8_t* row = rgba8.row(y);
        for (int x = 0; x < rgba8.width; ++x)
            opaque = opaque && row[x * 4 + 3] == 255;
    }
    if (opaque)
        return std::nullopt;
    AlphaPlane plane{rgba8.width, rgba8.height, {}};
    plane.bytes.resize(std::size_t(rgba8.width) * std::size_t(rgba8.height));
    for (int y = 0; y < rgba8.height; ++y) {
        const std::uint8_t* row = rgba8.row(y);
        std::uint8_t* out = plane.bytes.data() + std::size_t(y) * std::size_t(rgba8.width);
        for (int x = 0; x < rgba8.width; ++x)
            out[x] = row[x * 4 + 3];
    }
    return plane;
}

void enlargeAlphaInto(const AlphaPlane& alpha, int factor, Image& canvas) {
    if (factor < 1 || alpha.width < 1 || alpha.height < 1 || canvas.bitsPerPixel != 32 ||
        canvas.bitsPerComponent != 8 ||
        std::int64_t(canvas.width) != std::int64_t(alpha.width) * factor ||
        std::int64_t(canvas.height) != std::int64_t(alpha.height) * factor)
        return;
    const std::vector<Weights> phases = phaseWeights(factor);
    const auto outWidth = std::size_t(canvas.width);

    // Source rows enlarged across, the last kTaps of them: the window an output row needs
    // moves down one source row at a time.
    std::array<std::vector<float>, kTaps> rows;
    std::array<int, kTaps> held;
    held.fill(-1);
    for (auto& row : rows)
        row.resize(outWidth);
    const auto across = [&](int sourceRow) -> const std::vector<float>& {
        const auto slot = std::size_t(sourceRow % kTaps);
        if (held[slot] == sourceRow)
            return rows[slot];
        const std::uint8_t* in =
            alpha.bytes.data() + std::size_t(sourceRow) * std::size_t(alpha.width);
        float* out = rows[slot].data();
        for (int x = 0; x < alpha.width; ++x) {
            for (int p = 0; p < factor; ++p) {
                const Weights& w = phases[std::size_t(p)];
                float sum = 0;
                for (int k = 0; k < kTaps; ++k)
                    sum += w[std::size_t(k)] * float(in[clampIndex(x + k - kLobes, alpha.width)]);
                out[std::size_t(x) * std::size_t(factor) + std::size_t(p)] = sum;
            }
        }
        held[slot] = sourceRow;
        return rows[slot];
    };

    std::array<const float*, kTaps> window{};
    for (int y = 0; y < canvas.height; ++y) {
        const int centre = y / factor;
        const Weights& w = phases[std::size_t(y % factor)];
        for (int k = 0; k < kTaps; ++k)
            window[std::size_t(k)] = across(clampIndex(centre + k - kLobes, alpha.height)).data();
        std::uint8_t* out = canvas.row(y) + 3;
        for (std::size_t x = 0; x < outWidth; ++x) {
            float sum = 0;
            for (int k = 0; k < kTaps; ++k)
                sum += w[std::size_t(k)] * window[std::size_t(k)][x];
            out[x * 4] = std::uint8_t(std::clamp(std::lround(sum), 0L, 255L));
        }
    }
}

} // namespace glintwork
