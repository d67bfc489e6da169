#pragma once

#include <cstdint>

namespace glintwork::quantizer {

// The k-means sampler's generator. Every quantizer call starts it from the same state so that
// the same image always gives the same palette.
class Xoroshiro128PlusPlus {
public:
    static constexpr std::uint64_t kSeed0 = 0xe220a8397b1dcdafULL;
    static constexpr std::uint64_t kSeed1 = 0x6e789e6aa1b965f4ULL;

    Xoroshiro128PlusPlus() = default;
    Xoroshiro128PlusPlus(std::uint64_t s0, std::uint64_t s1) : m_s0(s0), m_s1(s1) {}

    [[nodiscard]] std::uint64_t next();

    // The low half of the next output.
    [[nodiscard]] std::uint32_t nextU32() { return static_cast<std::uint32_t>(next()); }

    // Uniform in [0, n) for 1 <= n <= 2^32: multiply-shift with rejection of the few low products
    // that would bias the result.
    [[nodiscard]] std::uint32_t nextIndex(std::uint64_t n);

private:
    std::uint64_t m_s0 = kSeed0;
    std::uint64_t m_s1 = kSeed1;
};

} // namespace glintwork::quantizer
