#include "quantizer/FloatContract.h"

#include "quantizer/ColorHistogram.h"

namespace glintwork::quantizer {

namespace {

// Lower bound and bins per unit. The a and b ranges are the extent of the Oklab values of all
// 8-bit sRGB colours, so no sRGB input lands outside them.
constexpr float kLowL = 0.0f;
constexpr float kScaleL = 32.0f;
constexpr float kLowA = -0.2338874f;
constexpr float kScaleA = 31.366163f;
constexpr float kLowB = -0.31152815f;
constexpr float kScaleB = 31.366529f;

int binOf(float value, float low, float scale, int bins) {
    // Clamping before the truncation gives the same bin as truncating first and keeps the
    // conversion defined for any value.
    const float t = (value - low) * scale;
    const float clamped = t > 0.0f ? (t < float(bins - 1) ? t : float(bins - 1)) : 0.0f;
    return static_cast<int>(clamped);
}

int indexOf(int l, int a, int b) {
    return (l * ColorHistogram::kBinsA + a) * ColorHistogram::kBinsB + b;
}

} // namespace

ColorMoments& ColorMoments::operator+=(const ColorMoments& other) {
    sumL += other.sumL;
    sumA += other.sumA;
    sumB += other.sumB;
    sumSquares += other.sumSquares;
    count += other.count;
    return *this;
}

ColorMoments& ColorMoments::operator-=(const ColorMoments& other) {
    sumL -= other.sumL;
    sumA -= other.sumA;
    sumB -= other.sumB;
    sumSquares -= other.sumSquares;
    count -= other.count;
    return *this;
}

ColorHistogram::ColorHistogram() : m_bins(kBinsL * kBinsA * kBinsB) {}

int ColorHistogram::binL(float l) {
    return binOf(l, kLowL, kScaleL, kBinsL);
}

int ColorHistogram::binA(float a) {
    return binOf(a, kLowA, kScaleA, kBinsA);
}

int ColorHistogram::binB(float b) {
    return binOf(b, kLowB, kScaleB, kBinsB);
}

void ColorHistogram::add(std::span<const Oklab> colors) {
    for (const Oklab& c : colors) {
        ColorMoments& bin =
            m_bins[static_cast<std::size_t>(indexOf(binL(c.l), binA(c.a), binB(c.b)))];
        const double l = c.l;
        const double a = c.a;
        const double b = c.b;
        bin.sumL += l;
        bin.sumA += a;
        bin.sumB += b;
        bin.sumSquares += (l * l + a * a) + b * b;
        ++bin.count;
    }
}

void ColorHistogram::merge(const ColorHistogram& other) {
    for (std::size_t i = 0; i < m_bins.size(); ++i)
        m_bins[i] += other.m_bins[i];
}

const ColorMoments& ColorHistogram::bin(int l, int a, int b) const {
    return m_bins[static_cast<std::size_t>(indexOf(l, a, b))];
}

std::uint64_t ColorHistogram::totalCount() const {
    std::uint64_t total = 0;
    for (const ColorMoments& bin : m_bins)
        total += bin.count;
    return total;
}

} // namespace glintwork::quantizer
