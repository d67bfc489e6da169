#pragma once

#include <cstddef>
#include <cstdint>
#include <set>
#include <tuple>
#include <vector>

#include "quantizer/quantette.h"

namespace glintwork::quantizer::test {

// A tightly packed RGBA buffer (4 * width bytes per row), the layout the entry point takes.
struct RgbaImage {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::vector<std::uint8_t> bytes;

    RgbaImage(std::uint32_t w, std::uint32_t h)
        : width(w), height(h), bytes(std::size_t{w} * h * 4) {}

    [[nodiscard]] std::uint8_t* pixel(std::uint32_t x, std::uint32_t y) {
        return bytes.data() + (std::size_t{y} * width + x) * 4;
    }

    [[nodiscard]] std::set<std::tuple<int, int, int>> distinctColors() const {
        std::set<std::tuple<int, int, int>> colors;
        for (std::size_t i = 0; i < bytes.size(); i += 4)
            colors.insert({bytes[i], bytes[i + 1], bytes[i + 2]});
        return colors;
    }

    [[nodiscard]] int quantize(std::uint32_t maxColors) {
        return quantette_quantize_rgba(bytes.data(), width, height, maxColors);
    }
};

// Smooth gradients, per-pixel noise and a few hard edges: the kind of content that needs a full
// palette and dithering. Deterministic for a given size and seed.
RgbaImage photoLikeImage(std::uint32_t width, std::uint32_t height, std::uint32_t seed = 1);

// A handful of flat colours in blocks, like a screenshot or a logo.
RgbaImage flatGraphic(std::uint32_t width, std::uint32_t height);

} // namespace glintwork::quantizer::test
