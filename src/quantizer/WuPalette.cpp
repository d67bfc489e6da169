#include "quantizer/FloatContract.h"

#include "quantizer/WuPalette.h"

#include <array>
#include <limits>
#include <optional>

namespace glintwork::quantizer {

namespace {

constexpr int kBins[3] = {ColorHistogram::kBinsL, ColorHistogram::kBinsA, ColorHistogram::kBinsB};

// Moments summed over all bins at or below (l, a, b), with a zero border at index 0 so that a box
// needs no special case at its lower faces: entry (l + 1, a + 1, b + 1) covers bins 0...l etc.
class CumulativeMoments {
public:
    explicit CumulativeMoments(const ColorHistogram& histogram)
        : m_table(std::size_t(kBins[0] + 1) * (kBins[1] + 1) * (kBins[2] + 1)) {
        for (int l = 0; l < kBins[0]; ++l)
            for (int a = 0; a < kBins[1]; ++a)
                for (int b = 0; b < kBins[2]; ++b)
                    at(l + 1, a + 1, b + 1) = histogram.bin(l, a, b);
        for (int l = 1; l <= kBins[0]; ++l)
            for (int a = 1; a <= kBins[1]; ++a)
                for (int b = 1; b <= kBins[2]; ++b)
                    at(l, a, b) += at(l, a, b - 1);
        for (int l = 1; l <= kBins[0]; ++l)
            for (int a = 1; a <= kBins[1]; ++a)
                for (int b = 1; b <= kBins[2]; ++b)
                    at(l, a, b) += at(l, a - 1, b);
        for (int l = 1; l <= kBins[0]; ++l)
            for (int a = 1; a <= kBins[1]; ++a)
                for (int b = 1; b <= kBins[2]; ++b)
                    at(l, a, b) += at(l - 1, a, b);
    }

    // Moments of the half-open box [lo, hi) on each axis, by inclusion-exclusion.
    [[nodiscard]] ColorMoments box(const std::array<int, 3>& lo,
                                   const std::array<int, 3>& hi) const {
        ColorMoments m = at(hi[0], hi[1], hi[2]);
        m -= at(lo[0], hi[1], hi[2]);
        m -= at(hi[0], lo[1], hi[2]);
        m -= at(hi[0], hi[1], lo[2]);
        m += at(lo[0], lo[1], hi[2]);
        m += at(lo[0], hi[1], lo[2]);
        m += at(hi[0], lo[1], lo[2]);
        m -= at(lo[0], lo[1], lo[2]);
        return m;
    }

private:
    [[nodiscard]] ColorMoments& at(int l, int a, int b) {
        return m_table[(std::size_t(l) * (kBins[1] + 1) + std::size_t(a)) * (kBins[2] + 1) +
                       std::size_t(b)];
    }
    [[nodiscard]] const ColorMoments& at(int l, int a, int b) const {
        return m_table[(std::size_t(l) * (kBins[1] + 1) + std::size_t(a)) * (kBins[2] + 1) +
                       std::size_t(b)];
    }

    std::vector<ColorMoments> m_table;
};

struct Box {
    std::array<int, 3> lo{};
    std::array<int, 3> hi{};
    double variance = 0.0;
};

double squaredNorm(const ColorMoments& m) {
    return (m.sumL * m.sumL + m.sumA * m.sumA) + m.sumB * m.sumB;
}

double varianceOf(const Box& box, const ColorMoments& m) {
    const bool singleBin =
        box.hi[0] - box.lo[0] == 1 && box.hi[1] - box.lo[1] == 1 && box.hi[2] - box.lo[2] == 1;
    if (singleBin)
        return 0.0;
    return m.sumSquares - squaredNorm(m) / double(m.count);
}

struct Cut {
    int axis = 0;
    int position = 0;
    double merit = 0.0;
};

// The cut that maximises |S1|²/n1 + |S2|²/n2 (equivalently minimises the halves' summed
// variance). Lower positions win ties within an axis and earlier axes (L, a, b) across axes.
std::optional<Cut> bestCut(const CumulativeMoments& moments, const Box& box) {
    const ColorMoments whole = moments.box(box.lo, box.hi);
    std::optional<Cut> best;
    for (int axis = 0; axis < 3; ++axis) {
        std::optional<Cut> bestOnAxis;
        for (int p = box.lo[axis] + 1; p < box.hi[axis]; ++p) {
            std::array<int, 3> lowerHi = box.hi;
            lowerHi[axis] = p;
            const ColorMoments lower = moments.box(box.lo, lowerHi);
            ColorMoments upper = whole;
            upper -= lower;
            if (lower.count == 0 || upper.count == 0)
                continue;
            const double merit =
                squaredNorm(lower) / double(lower.count) + squaredNorm(upper) / double(upper.count);
            if (!bestOnAxis || merit > bestOnAxis->merit)
                bestOnAxis = Cut{axis, p, merit};
        }
        if (bestOnAxis && (!best || bestOnAxis->merit > best->merit))
            best = bestOnAxis;
    }
    return best;
}

} // namespace

std::vector<Oklab> wuPalette(const ColorHistogram& histogram, std::size_t maxColors) {
    if (histogram.totalCount() == 0 || maxColors == 0)
        return {};
    const CumulativeMoments moments(histogram);

    // At most 256 boxes: a linear scan for the largest variance costs nothing next to the cut
    // search and gives a fixed tie rule (the earliest box in this list).
    std::vector<Box> boxes;
    boxes.reserve(maxColors);
    boxes.push_back(
        {{0, 0, 0}, {kBins[0], kBins[1], kBins[2]}, std::numeric_limits<double>::infinity()});
    while (boxes.size() < maxColors) {
        std::size_t largest = 0;
        for (std::size_t i = 1; i < boxes.size(); ++i) {
            if (boxes[i].variance > boxes[largest].variance)
                largest = i;
        }
        // "Not greater than zero" also stops on a NaN variance.
        if (!(boxes[largest].variance > 0.0))
            break;
        const std::optional<Cut> cut = bestCut(moments, boxes[largest]);
        if (!cut) {
            boxes[largest].variance = 0.0;
            continue;
        }
        Box lower = boxes[largest];
        Box upper = boxes[largest];
        lower.hi[std::size_t(cut->axis)] = cut->position;
        upper.lo[std::size_t(cut->axis)] = cut->position;
        lower.variance = varianceOf(lower, moments.box(lower.lo, lower.hi));
        upper.variance = varianceOf(upper, moments.box(upper.lo, upper.hi));
        boxes[largest] = lower;
        boxes.push_back(upper);
    }

    std::vector<Oklab> palette;
    palette.reserve(boxes.size());
    for (const Box& box : boxes) {
        const ColorMoments m = moments.box(box.lo, box.hi);
        const double n = double(m.count);
        palette.push_back({float(m.sumL / n), float(m.sumA / n), float(m.sumB / n)});
    }
    return palette;
}

} // namespace glintwork::quantizer
