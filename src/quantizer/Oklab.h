#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace glintwork::quantizer {

// No default member values: the per-pixel array of a large image is written once by the
// conversion and should not be cleared beforehand. Oklab{} still gives zero.
struct Oklab {
    float l;
    float a;
    float b;

    friend bool operator==(const Oklab&, const Oklab&) = default;
};

struct Rgb8 {
    std::uint8_t r = 0;
    std::uint8_t g = 0;
    std::uint8_t b = 0;

    friend bool operator==(const Rgb8&, const Rgb8&) = default;
};

// Cube root of a non-negative value, correctly rounded except within about 1e-15 of a rounding
// boundary; written without branches or library calls so that a conversion loop vectorises.
[[nodiscard]] float cubeRoot(float x);

// 8-bit sRGB to Oklab in single precision. The decoding table is built once per instance so a
// quantizer call owns everything it reads.
class SrgbToOklab {
public:
    SrgbToOklab();

    [[nodiscard]] Oklab convert(std::uint8_t r, std::uint8_t g, std::uint8_t b) const;

    // Converts count RGBA pixels starting at rgba (alpha ignored). Splittable into any ranges.
    void convertRgba(const std::uint8_t* rgba, Oklab* out, std::size_t count) const;

private:
    void convertEach(const std::uint8_t* rgba, Oklab* out, std::size_t count) const;
    void convertRuns(const std::uint8_t* rgba, Oklab* out, std::size_t count) const;

    std::array<float, 256> m_linear{};
    void (*m_cubeRoots)(float* block);
};

// Inverse transform with the linear channels clamped just inside (0, 1), then sRGB-encoded and
// rounded to the nearest 8-bit code.
[[nodiscard]] Rgb8 srgb8FromOklab(Oklab c);

} // namespace glintwork::quantizer
