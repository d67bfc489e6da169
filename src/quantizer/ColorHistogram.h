#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "quantizer/Oklab.h"

namespace glintwork::quantizer {

// The moments of the pixels that fall into one bin (or, once accumulated, into a box).
struct ColorMoments {
    double sumL = 0.0;
    double sumA = 0.0;
    double sumB = 0.0;
    double sumSquares = 0.0; // of L² + a² + b²
    // 64 bits although a bin of a 2^32-pixel image is the most it could ever need to count.
    std::uint64_t count = 0;

    ColorMoments& operator+=(const ColorMoments& other);
    ColorMoments& operator-=(const ColorMoments& other);
};

// A 32 x 16 x 16 histogram of Oklab colours (L, a, b), the ranges of a and b being those that
// 8-bit sRGB reaches.
class ColorHistogram {
public:
    static constexpr int kBinsL = 32;
    static constexpr int kBinsA = 16;
    static constexpr int kBinsB = 16;

    ColorHistogram();

    [[nodiscard]] static int binL(float l);
    [[nodiscard]] static int binA(float a);
    [[nodiscard]] static int binB(float b);

    void add(std::span<const Oklab> colors);
    // Adds another histogram bin by bin; with a fixed split of the pixels and a fixed merge
    // order the sums stay the same whatever the number of threads.
    void merge(const ColorHistogram& other);

    [[nodiscard]] const ColorMoments& bin(int l, int a, int b) const;
    [[nodiscard]] std::uint64_t totalCount() const;

private:
    std::vector<ColorMoments> m_bins;
};

} // namespace glintwork::quantizer
