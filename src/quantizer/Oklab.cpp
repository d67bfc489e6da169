#include "quantizer/FloatContract.h"

#include "quantizer/Oklab.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

namespace glintwork::quantizer {

namespace {

double decodeSrgb(double c) {
    return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

double encodeSrgb(double c) {
    return c <= 0.0031308 ? 12.92 * c : 1.055 * std::pow(c, 1.0 / 2.4) - 0.055;
}

// Bit-level first guess (within about 3%), then two Halley steps in double precision; each step
// roughly cubes the relative error, leaving ~1e-15 before the final rounding. Inline and free of
// branches and library calls so that the block loops below vectorise.
inline float cubeRootInline(float x) {
    const std::uint32_t xBits = std::bit_cast<std::uint32_t>(x);
    const std::uint32_t magnitudeBits = xBits & 0x7fffffffu;
    const std::uint32_t bits = magnitudeBits / 3u + 0x2a5137a0u;
    const double xd = std::bit_cast<float>(magnitudeBits);
    const double y0 = std::bit_cast<float>(bits);
    const double c0 = y0 * y0 * y0;
    const double y1 = y0 * (c0 + 2.0 * xd) / (2.0 * c0 + xd);
    const double c1 = y1 * y1 * y1;
    const double y = y1 * (c1 + 2.0 * xd) / (2.0 * c1 + xd);
    // Zero would come out as a tiny positive number; the all-ones-or-zero mask fixes that with
    // plain integer operations, which the vectoriser takes where it refuses a conditional.
    const std::uint32_t keep = 0u - ((magnitudeBits | (0u - magnitudeBits)) >> 31);
    const std::uint32_t rootBits = std::bit_cast<std::uint32_t>(static_cast<float>(y)) & keep;
    return std::bit_cast<float>(rootBits | (xBits & 0x80000000u));
}

// Pixels converted together. Whole blocks only: a fixed trip count lets the compiler's cheapest
// vectoriser setting (the one -O2 uses) take the loops.
constexpr std::size_t kBlock = 256;

inline void cubeRootsBody(float* values) {
    for (std::size_t i = 0; i < kBlock; ++i)
        values[i] = cubeRootInline(values[i]);
}

void cubeRootsDefault(float* values) {
    cubeRootsBody(values);
}

#if defined(__x86_64__) || defined(__i386__)
// Four doubles per instruction instead of two. Only basic IEEE operations are involved and AVX2
// brings no fused multiply-add, so the results equal the default build's bit for bit.
__attribute__((target("avx2"))) void cubeRootsAvx2(float* values) {
    cubeRootsBody(values);
}
#endif

using CubeRoots = void (*)(float*);

CubeRoots selectCubeRoots() {
#if defined(__x86_64__) || defined(__i386__)
    if (__builtin_cpu_supports("avx2"))
        return cubeRootsAvx2;
#endif
    return cubeRootsDefault;
}

} // namespace

float cubeRoot(float x) {
    return cubeRootInline(x);
}

SrgbToOklab::SrgbToOklab() : m_cubeRoots(selectCubeRoots()) {
    for (int i = 0; i < 256; ++i)
        m_linear[static_cast<std::size_t>(i)] = static_cast<float>(decodeSrgb(i / 255.0));
}

Oklab SrgbToOklab::convert(std::uint8_t r, std::uint8_t g, std::uint8_t b) const {
    const std::uint8_t rgba[4] = {r, g, b, 0};
    Oklab out;
    convertRgba(rgba, &out, 1);
    return out;
}

namespace {

// The R, G and B bytes of a pixel read as one 32-bit word; the alpha byte is masked off.
constexpr std::uint32_t kRgbMask =
    std::endian::native == std::endian::little ? 0x00ffffffu : 0xffffff00u;

inline bool sameRgb(const std::uint8_t* p, const std::uint8_t* q) {
    std::uint32_t a = 0;
    std::uint32_t b = 0;
    std::memcpy(&a, p, 4);
    std::memcpy(&b, q, 4);
    return ((a ^ b) & kRgbMask) == 0;
}

} // namespace

void SrgbToOklab::convertRgba(const std::uint8_t* rgba, Oklab* out, std::size_t count) const {
    // Graphics repeat one colour pixel after pixel; converting each run once and copying the
    // result gives the same values (the conversion depends on nothing but the pixel) for a
    // fraction of the work. Photographs, with hardly a repeat, are told apart after a few
    // pixels and take the block path.
    const std::size_t changesAllowed = count / 4;
    std::size_t changes = 0;
    for (std::size_t i = 1; i < count && changes <= changesAllowed; ++i)
        changes += sameRgb(rgba + 4 * i, rgba + 4 * (i - 1)) ? 0 : 1;
    if (count > 1 && changes <= changesAllowed)
        convertRuns(rgba, out, count);
    else
        convertEach(rgba, out, count);
}

void SrgbToOklab::convertRuns(const std::uint8_t* rgba, Oklab* out, std::size_t count) const {
    // The first pixel of up to a block's worth of runs is gathered and converted together.
    std::array<std::uint8_t, 4 * kBlock> heads{};
    std::array<std::size_t, kBlock + 1> starts{};
    std::array<Oklab, kBlock> converted{};
    for (std::size_t i = 0; i < count;) {
        std::size_t runs = 0;
        for (; runs < kBlock && i < count; ++runs) {
            starts[runs] = i;
            std::memcpy(heads.data() + 4 * runs, rgba + 4 * i, 4);
            for (++i; i < count && sameRgb(rgba + 4 * i, rgba + 4 * (i - 1));)
                ++i;
        }
        starts[runs] = i;
        convertEach(heads.data(), converted.data(), runs);
        for (std::size_t r = 0; r < runs; ++r)
            std::fill(out + starts[r], out + starts[r + 1], converted[r]);
    }
}

void SrgbToOklab::convertEach(const std::uint8_t* rgba, Oklab* out, std::size_t count) const {
    float lms[3][kBlock] = {};
    for (std::size_t start = 0; start < count; start += kBlock) {
        const std::size_t n = std::min(kBlock, count - start);
        const std::uint8_t* px = rgba + 4 * start;
        for (std::size_t i = 0; i < n; ++i) {
            const float r = m_linear[px[4 * i]];
            const float g = m_linear[px[4 * i + 1]];
            const float b = m_linear[px[4 * i + 2]];
            lms[0][i] = 0.4122214708f * r + 0.5363325363f * g + 0.0514459929f * b;
            lms[1][i] = 0.2119034982f * r + 0.6806995451f * g + 0.1073969566f * b;
            lms[2][i] = 0.0883024619f * r + 0.2817188376f * g + 0.6299787005f * b;
        }
        // A short last block leaves earlier values in the unused tail; their roots are unused.
        m_cubeRoots(lms[0]);
        m_cubeRoots(lms[1]);
        m_cubeRoots(lms[2]);
        Oklab* dst = out + start;
        for (std::size_t i = 0; i < n; ++i) {
            const float lc = lms[0][i];
            const float mc = lms[1][i];
            const float sc = lms[2][i];
            dst[i] = {0.2104542553f * lc + 0.7936177850f * mc - 0.0040720468f * sc,
                      1.9779984951f * lc - 2.4285922050f * mc + 0.4505937099f * sc,
                      0.0259040371f * lc + 0.7827717662f * mc - 0.8086757660f * sc};
        }
    }
}

Rgb8 srgb8FromOklab(Oklab c) {
    const float lc = c.l + 0.3963377774f * c.a + 0.2158037573f * c.b;
    const float mc = c.l - 0.1055613458f * c.a - 0.0638541728f * c.b;
    const float sc = c.l - 0.0894841775f * c.a - 1.2914855480f * c.b;
    const float l = lc * lc * lc;
    const float m = mc * mc * mc;
    const float s = sc * sc * sc;
    const float linear[3] = {
        4.0767416621f * l - 3.3077115913f * m + 0.2309699292f * s,
        -1.2684380046f * l + 2.6097574011f * m - 0.3413193965f * s,
        -0.0041960863f * l - 0.7034186147f * m + 1.7076147010f * s,
    };
    // The lower bound keeps the encoding away from 0 and the upper bound is the largest float
    // below 1, matching the range the palette was built from.
    constexpr float kLow = 0x1p-13f;
    constexpr float kHigh = 1.0f - 0x1p-24f;
    std::uint8_t code[3];
    for (int i = 0; i < 3; ++i) {
        // std::clamp passes NaN through; an out-of-range centroid must still give a valid byte.
        const float v = linear[i] > kLow ? (linear[i] < kHigh ? linear[i] : kHigh) : kLow;
        const double encoded = encodeSrgb(v) * 255.0;
        code[i] = static_cast<std::uint8_t>(std::lround(std::clamp(encoded, 0.0, 255.0)));
    }
    return {code[0], code[1], code[2]};
}

} // namespace glintwork::quantizer
