#include "quantizer/Xoroshiro128PlusPlus.h"

#include <bit>

namespace glintwork::quantizer {

std::uint64_t Xoroshiro128PlusPlus::next() {
    const std::uint64_t s0 = m_s0;
    const std::uint64_t result = std::rotl(s0 + m_s1, 17) + s0;
    const std::uint64_t t = s0 ^ m_s1;
    m_s0 = std::rotl(s0, 49) ^ t ^ (t << 21);
    m_s1 = std::rotl(t, 28);
    return result;
}

std::uint32_t Xoroshiro128PlusPlus::nextIndex(std::uint64_t n) {
    if (n >= (std::uint64_t{1} << 32))
        return nextU32();
    const auto n32 = static_cast<std::uint32_t>(n);
    // (2^32 - n) mod n, computed in 32-bit arithmetic where -n wraps to 2^32 - n.
    const std::uint32_t threshold = (0u - n32) % n32;
    for (;;) {
        const std::uint64_t product = std::uint64_t{nextU32()} * n32;
        if (static_cast<std::uint32_t>(product) >= threshold)
            return static_cast<std::uint32_t>(product >> 32);
    }
}

} // namespace glintwork::quantizer
