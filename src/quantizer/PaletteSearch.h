#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "quantizer/Oklab.h"

namespace glintwork::quantizer {

// Exhaustive nearest-colour search over a palette of up to 256 Oklab colours, stored component by
// component in groups of sixteen so that the vector paths never need a tail. Distances are the
// squared Euclidean distance summed as ((dL² + da²) + db²) in single precision on every path, and
// among equally near entries the lowest index wins, so all paths agree bit for bit.
class PaletteSearch {
public:
    enum class Path { Scalar, Avx2, Avx512 };

    explicit PaletteSearch(std::span<const Oklab> colors);

    // The fastest path this processor supports; tests pin the others against it.
    [[nodiscard]] static Path bestPath();
    // Falls back to the scalar path when the processor lacks the one asked for.
    void usePath(Path path);
    [[nodiscard]] Path path() const { return m_path; }

    [[nodiscard]] std::size_t size() const { return m_size; }
    [[nodiscard]] Oklab color(std::size_t index) const;
    void setColor(std::size_t index, Oklab color);

    // Index of the entry nearest to v. The palette must not be empty.
    [[nodiscard]] std::uint32_t nearest(Oklab v) const;

private:
    using Kernel = std::uint32_t (*)(const float* l, const float* a, const float* b,
                                     std::size_t paddedSize, Oklab v);

    std::vector<float> m_l;
    std::vector<float> m_a;
    std::vector<float> m_b;
    std::size_t m_size = 0;
    Path m_path = Path::Scalar;
    Kernel m_kernel = nullptr;
};

} // namespace glintwork::quantizer
