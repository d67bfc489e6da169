#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/Image.h"

namespace glintwork {

// Element types by the numeric codes error texts print (bit width plus a kind flag).
enum class TensorElementType : int {
    float16 = 65552,
    float32 = 65568,
    float64 = 65600,
    int32 = 131104,
};

// A tensor as an inference engine hands it over: element type, shape, element strides and
// how many elements the storage really holds, so every access can be checked against it.
struct TensorView {
    int typeCode = static_cast<int>(TensorElementType::float32);
    std::vector<std::int64_t> shape;
    std::vector<std::int64_t> strides;
    void* data = nullptr;
    std::size_t elementCount = 0;
};

// Fills a [1, 3, H, W] float32 tensor: the tile lands unscaled in the top-left corner and
// the rest repeats the tile's last column and row. Colours enter straight, not premultiplied
// by their alpha; fully transparent pixels take the colour of the visible pixels nearest to
// them (the alpha itself is enlarged apart). Throws Error (tensorConversionFailed) when
// the tensor cannot hold that.
void fillInputTensor(const Image& tile, TensorView& tensor);

// Reads the top-left width × height pixels of a [1, 3, H, W] tensor of 16- or 32-bit floats
// in 0..1 into an opaque RGBA8 image: value × 255 rounded half away from zero, clamped, NaN
// as 255. Throws Error (tensorConversionFailed) for other element types and for a
// tensor too small or whose strides reach past its storage.
[[nodiscard]] Image imageFromOutputTensor(const TensorView& tensor, int width, int height);

// IEEE 754 half to single precision, subnormals included.
[[nodiscard]] float halfToFloat(std::uint16_t half);

// round(v × 255) clamped into a byte.
[[nodiscard]] std::uint8_t byteFromUnitFloat(float value);

} // namespace glintwork
