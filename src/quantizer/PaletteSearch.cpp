#include "quantizer/FloatContract.h"

#include "quantizer/PaletteSearch.h"

#include <algorithm>
#include <limits>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define GLINTWORK_QUANTIZER_X86 1
// GCC 12 reports its own AVX-512 intrinsics' undefined pass-through operands as uninitialised.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#endif

namespace glintwork::quantizer {

namespace {

// Four accumulators of sixteen lanes: every vector path walks whole groups of 64 entries.
constexpr std::size_t kGroup = 64;
// Padding entries sit infinitely far away, so their distance is +inf and never wins.
constexpr float kFar = std::numeric_limits<float>::infinity();

inline float distance(Oklab v, float l, float a, float b) {
    const float dl = v.l - l;
    const float da = v.a - a;
    const float db = v.b - b;
    return (dl * dl + da * da) + db * db;
}

std::uint32_t nearestScalar(const float* l, const float* a, const float* b, std::size_t paddedSize,
                            Oklab v) {
    float best = std::numeric_limits<float>::infinity();
    std::uint32_t bestIndex = 0;
    for (std::size_t i = 0; i < paddedSize; ++i) {
        const float d = distance(v, l[i], a[i], b[i]);
        if (d < best) {
            best = d;
            bestIndex = static_cast<std::uint32_t>(i);
        }
    }
    return bestIndex;
}

#ifdef GLINTWORK_QUANTIZER_X86

// AVX2 has no unsigned 64-bit minimum; the keys' top bit is always clear (distances are not
// negative), so a signed compare and a blend do the same job.
__attribute__((target("avx2"))) inline __m256i minKeysAvx2(__m256i x, __m256i y) {
    return _mm256_blendv_epi8(x, y, _mm256_cmpgt_epi64(x, y));
}

__attribute__((target("avx2"))) inline __m256i keysAvx2(__m256 vl, __m256 va, __m256 vb,
                                                        const float* l, const float* a,
                                                        const float* b, __m256i index) {
    const __m256 dl = _mm256_sub_ps(vl, _mm256_loadu_ps(l));
    const __m256 da = _mm256_sub_ps(va, _mm256_loadu_ps(a));
    const __m256 db = _mm256_sub_ps(vb, _mm256_loadu_ps(b));
    const __m256i d = _mm256_castps_si256(_mm256_add_ps(
        _mm256_add_ps(_mm256_mul_ps(dl, dl), _mm256_mul_ps(da, da)), _mm256_mul_ps(db, db)));
    return minKeysAvx2(_mm256_unpacklo_epi32(index, d), _mm256_unpackhi_epi32(index, d));
}

// Same key scheme as the AVX-512 path below, eight entries at a time.
__attribute__((target("avx2"))) std::uint32_t
nearestAvx2(const float* l, const float* a, const float* b, std::size_t paddedSize, Oklab v) {
    const __m256 vl = _mm256_set1_ps(v.l);
    const __m256 va = _mm256_set1_ps(v.a);
    const __m256 vb = _mm256_set1_ps(v.b);
    const __m256i none = _mm256_set1_epi64x(std::numeric_limits<std::int64_t>::max());
    __m256i best0 = none, best1 = none, best2 = none, best3 = none;
    __m256i index = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
    const __m256i step = _mm256_set1_epi32(8);
    for (std::size_t i = 0; i < paddedSize; i += 32) {
        const __m256i i1 = _mm256_add_epi32(index, step);
        const __m256i i2 = _mm256_add_epi32(i1, step);
        const __m256i i3 = _mm256_add_epi32(i2, step);
        best0 = minKeysAvx2(best0, keysAvx2(vl, va, vb, l + i, a + i, b + i, index));
        best1 = minKeysAvx2(best1, keysAvx2(vl, va, vb, l + i + 8, a + i + 8, b + i + 8, i1));
        best2 = minKeysAvx2(best2, keysAvx2(vl, va, vb, l + i + 16, a + i + 16, b + i + 16, i2));
        best3 = minKeysAvx2(best3, keysAvx2(vl, va, vb, l + i + 24, a + i + 24, b + i + 24, i3));
        index = _mm256_add_epi32(i3, step);
    }
    __m256i best = minKeysAvx2(minKeysAvx2(best0, best1), minKeysAvx2(best2, best3));
    best = minKeysAvx2(best, _mm256_permute2x128_si256(best, best, 1));
    best = minKeysAvx2(best, _mm256_unpackhi_epi64(best, best));
    return static_cast<std::uint32_t>(_mm256_cvtsi256_si32(best));
}

// The AVX-512 path folds distance and index into one 64-bit key, distance bits above index bits.
// Distances are never negative, so their bit patterns order like the values, and the smallest
// key is the nearest entry with the lowest index on a tie: a plain unsigned minimum replaces the
// compare-and-select steps and makes the final reduction short.
__attribute__((target("avx512f"))) inline __m512i keysAvx512(__m512 vl, __m512 va, __m512 vb,
                                                             const float* l, const float* a,
                                                             const float* b, __m512i index) {
    const __m512 dl = _mm512_sub_ps(vl, _mm512_loadu_ps(l));
    const __m512 da = _mm512_sub_ps(va, _mm512_loadu_ps(a));
    const __m512 db = _mm512_sub_ps(vb, _mm512_loadu_ps(b));
    const __m512i d = _mm512_castps_si512(_mm512_add_ps(
        _mm512_add_ps(_mm512_mul_ps(dl, dl), _mm512_mul_ps(da, da)), _mm512_mul_ps(db, db)));
    // The two halves are folded before they meet the accumulator, which keeps the chain of
    // dependent minimums (the search's latency) short.
    return _mm512_min_epu64(_mm512_unpacklo_epi32(index, d), _mm512_unpackhi_epi32(index, d));
}

__attribute__((target("avx512f"))) std::uint32_t
nearestAvx512(const float* l, const float* a, const float* b, std::size_t paddedSize, Oklab v) {
    const __m512 vl = _mm512_set1_ps(v.l);
    const __m512 va = _mm512_set1_ps(v.a);
    const __m512 vb = _mm512_set1_ps(v.b);
    const __m512i none = _mm512_set1_epi64(-1);
    __m512i best0 = none, best1 = none, best2 = none, best3 = none;
    __m512i index = _mm512_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
    const __m512i step = _mm512_set1_epi32(16);
    for (std::size_t i = 0; i < paddedSize; i += 64) {
        const __m512i i1 = _mm512_add_epi32(index, step);
        const __m512i i2 = _mm512_add_epi32(i1, step);
        const __m512i i3 = _mm512_add_epi32(i2, step);
        best0 = _mm512_min_epu64(best0, keysAvx512(vl, va, vb, l + i, a + i, b + i, index));
        best1 =
            _mm512_min_epu64(best1, keysAvx512(vl, va, vb, l + i + 16, a + i + 16, b + i + 16, i1));
        best2 =
            _mm512_min_epu64(best2, keysAvx512(vl, va, vb, l + i + 32, a + i + 32, b + i + 32, i2));
        best3 =
            _mm512_min_epu64(best3, keysAvx512(vl, va, vb, l + i + 48, a + i + 48, b + i + 48, i3));
        index = _mm512_add_epi32(i3, step);
    }
    __m512i best = _mm512_min_epu64(_mm512_min_epu64(best0, best1), _mm512_min_epu64(best2, best3));
    best = _mm512_min_epu64(best, _mm512_shuffle_i64x2(best, best, _MM_SHUFFLE(1, 0, 3, 2)));
    best = _mm512_min_epu64(best, _mm512_shuffle_i64x2(best, best, _MM_SHUFFLE(2, 3, 0, 1)));
    best = _mm512_min_epu64(best, _mm512_unpackhi_epi64(best, best));
    return static_cast<std::uint32_t>(_mm_cvtsi128_si32(_mm512_castsi512_si128(best)));
}

bool supports(PaletteSearch::Path path) {
    switch (path) {
    case PaletteSearch::Path::Scalar:
        return true;
    case PaletteSearch::Path::Avx2:
        return __builtin_cpu_supports("avx2");
    case PaletteSearch::Path::Avx512:
        return __builtin_cpu_supports("avx512f");
    }
    return false;
}

#else

bool supports(PaletteSearch::Path path) {
    return path == PaletteSearch::Path::Scalar;
}

#endif

} // namespace

PaletteSearch::PaletteSearch(std::span<const Oklab> colors) : m_size(colors.size()) {
    const std::size_t padded = (colors.size() + kGroup - 1) / kGroup * kGroup;
    m_l.assign(padded, kFar);
    m_a.assign(padded, kFar);
    m_b.assign(padded, kFar);
    for (std::size_t i = 0; i < colors.size(); ++i)
        setColor(i, colors[i]);
    usePath(bestPath());
}

PaletteSearch::Path PaletteSearch::bestPath() {
    if (supports(Path::Avx512))
        return Path::Avx512;
    if (supports(Path::Avx2))
        return Path::Avx2;
    return Path::Scalar;
}

void PaletteSearch::usePath(Path path) {
    m_path = supports(path) ? path : Path::Scalar;
    switch (m_path) {
#ifdef GLINTWORK_QUANTIZER_X86
    case Path::Avx512:
        m_kernel = nearestAvx512;
        break;
    case Path::Avx2:
        m_kernel = nearestAvx2;
        break;
#endif
    default:
        m_kernel = nearestScalar;
        break;
    }
}

Oklab PaletteSearch::color(std::size_t index) const {
    return {m_l[index], m_a[index], m_b[index]};
}

void PaletteSearch::setColor(std::size_t index, Oklab color) {
    m_l[index] = color.l;
    m_a[index] = color.a;
    m_b[index] = color.b;
}

std::uint32_t PaletteSearch::nearest(Oklab v) const {
    const std::uint32_t index = m_kernel(m_l.data(), m_a.data(), m_b.data(), m_l.size(), v);
    // Only a NaN query could make a padding entry win; never index past the real entries.
    return std::min(index, static_cast<std::uint32_t>(m_size - 1));
}

} // namespace glintwork::quantizer
