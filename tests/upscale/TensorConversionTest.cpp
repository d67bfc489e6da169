#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <limits>

#include "support/TestImages.h"
#include "support/TestSupport.h"
#include "upscale/DnnUpscalerError.h"
#include "upscale/TensorConversion.h"

namespace glintwork {
namespace {

using test::pixelAt;

constexpr float kInfinity = std::numeric_limits<float>::infinity();

// Single to half for the normal, exactly representable values these tests use.
std::uint16_t floatToHalf(float value) {
    const auto bits = std::bit_cast<std::uint32_t>(value);
    if (value == 0.0f)
        return std::uint16_t(bits >> 16);
    const int exponent = int((bits >> 23) & 0xff) - 127 + 15;
    return std::uint16_t(((bits >> 16) & 0x8000u) | std::uint32_t(exponent) << 10 | ((bits >> 13) & 0x3ffu));
}

enum class Layout { planar, interleaved, paddedRows };

// A [1, 3, h, w] tensor of value(c, y, x) stored as T in the given order; the elements no
// pixel uses hold a value that would show.
template <typename T> struct OwnedTensor {
    std::vector<T> storage;
    TensorView view;

    OwnedTensor(int width, int height, Layout layout, TensorElementType type,
                const std::function<float(int c, int y, int x)>& value, T (*encode)(float)) {
        const long long w = width + (layout == Layout::paddedRows ? 5 : 0), h = height;
        view.typeCode = static_cast<int>(type);
        view.shape = {1, 3, h, width};
        view.strides = layout == Layout::interleaved ? std::vector<std::int64_t>{3 * h * w, 1, 3 * w, 3}
                                                     : std::vector<std::int64_t>{3 * h * w, h * w, w, 1};
        view.elementCount = std::size_t(view.strides[0]);
        storage.assign(view.elementCount, encode(-7.0f));
        for (int c = 0; c < 3; ++c)
            for (int y = 0; y < height; ++y)
                for (int x = 0; x < width; ++x)
                    storage[std::size_t(c * view.strides[1] + y * view.strides[2] + x * view.strides[3])] =
                        encode(value(c, y, x));
        view.data = storage.data();
    }
};

float pattern(int c, int y, int x) { return float((c * 53 + y * 17 + x * 5) % 96) / 64.0f - 0.25f; }
float asFloat(float v) { return v; }

TEST(TensorConversion, ValuesBecomeClampedRoundedBytes) {
    const std::pair<float, std::uint8_t> cases[] = {
        {-0.3f, 0}, {-0.0f, 0}, {0.0f, 0}, {0.5f, 128}, {0.2f, 51}, {1.0f, 255}, {1.7f, 255},
        {1.0f / 255.0f * 0.49f, 0}, {std::nanf(""), 255}, {kInfinity, 255}, {-kInfinity, 0}};
    for (const auto& [value, expected] : cases)
        EXPECT_EQ(byteFromUnitFloat(value), expected) << value;
}

TEST(TensorConversion, HalvesWidenExactly) {
    const std::pair<std::uint16_t, float> cases[] = {
        {0x0000, 0.0f}, {0x3c00, 1.0f}, {0x3800, 0.5f}, {0xc000, -2.0f}, {0x0001, std::ldexp(1.0f, -24)},
        {0x03ff, 1023 * std::ldexp(1.0f, -24)}, {0x0400, std::ldexp(1.0f, -14)}, {0x7bff, 65504.0f},
        {0x7c00, kInfinity}};
    for (const auto& [half, expected] : cases)
        EXPECT_EQ(halfToFloat(half), expected) << half;
}

TEST(TensorConversion, HalfAndSingleFloatsGiveTheSameImageInAnyLayout) {
    const Image reference = imageFromOutputTensor(
        OwnedTensor<float>(9, 7, Layout::planar, TensorElementType::float32, pattern, asFloat).view, 9, 7);
    EXPECT_EQ(pixelAt(reference, 4, 3)[2], byteFromUnitFloat(pattern(2, 3, 4)));
    EXPECT_EQ(pixelAt(reference, 4, 3)[0], byteFromUnitFloat(pattern(0, 3, 4)));
    for (const Layout layout : {Layout::planar, Layout::interleaved, Layout::paddedRows}) {
        SCOPED_TRACE(int(layout));
        const OwnedTensor<float> single(9, 7, layout, TensorElementType::float32, pattern, asFloat);
        const OwnedTensor<std::uint16_t> half(9, 7, layout, TensorElementType::float16, pattern, floatToHalf);
        EXPECT_EQ(imageFromOutputTensor(single.view, 9, 7), reference);
        EXPECT_EQ(imageFromOutputTensor(half.view, 9, 7), reference);
        // Only the top-left region asked for is read.
        const Image corner = imageFromOutputTensor(single.view, 3, 5);
        ASSERT_EQ(std::pair(corner.width, corner.height), std::pair(3, 5));
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 3; ++x)
                EXPECT_EQ(pixelAt(corner, x, y), pixelAt(reference, x, y));
    }
}

TEST(TensorConversion, TensorsOfAnotherTypeOrReadOutOfBoundsFailTheTile) {
    std::vector<float> storage(3 * 4 * 4, 0.5f);
    const TensorView good{static_cast<int>(TensorElementType::float32), {1, 3, 4, 4}, {48, 16, 4, 1},
                          storage.data(), storage.size()};
    const std::string outOfBounds = "Upscale inference failed: output tensor strides reach past its data";
    const struct {
        const char* what;
        std::function<void(TensorView&)> change;
        std::string expected;
    } cases[] = {
        {"unchanged", [](TensorView&) {}, "(no error)"},
        {"double", [](TensorView& v) { v.typeCode = int(TensorElementType::float64); },
         "Upscale inference failed: unsupported output dtype 65600"},
        {"rank 3", [](TensorView& v) { v.shape = {3, 4, 4}; v.strides = {16, 4, 1}; },
         "Upscale inference failed: output tensor has 3 dimensions, expected 4"},
        {"too few rows", [](TensorView& v) { v.shape[2] = 2; },
         "Upscale inference failed: output tensor [1, 3, 2, 4] is smaller than 3 × 4 × 4"},
        {"two channels", [](TensorView& v) { v.shape[1] = 2; },
         "Upscale inference failed: output tensor [1, 2, 4, 4] is smaller than 3 × 4 × 4"},
        {"storage short", [](TensorView& v) { v.elementCount = 40; }, outOfBounds},
        {"stride too long", [](TensorView& v) { v.strides[2] = 5; }, outOfBounds},
        {"negative stride", [](TensorView& v) { v.strides[3] = -1; }, outOfBounds},
    };
    for (const auto& c : cases) {
        TensorView view = good;
        c.change(view);
        EXPECT_EQ(test::errorText<DnnUpscalerError>([&] { (void)imageFromOutputTensor(view, 4, 4); }), c.expected) << c.what;
    }
    TensorView doubles = good;
    doubles.typeCode = int(TensorElementType::float64);
    EXPECT_EQ(test::errorText<DnnUpscalerError>([&] { fillInputTensor(test::solidImage(2, 2, {1, 2, 3, 255}), doubles); }),
              "Upscale inference failed: input context creation failed");
}

TEST(TensorConversion, InputTileLandsTopLeftOnBlackWithPremultipliedColour) {
    Image tile = Image::make(3, 2, 8, AlphaInfo::last, ColorSpace::sRGB(), 3);
    const Pixel colours[6] = {{255, 0, 0, 255}, {0, 255, 0, 255}, {0, 0, 255, 255},
                              {10, 20, 30, 255}, {255, 255, 255, 0}, {200, 100, 50, 128}};
    test::fill(tile, [&](int x, int y, int c) { return colours[y * 3 + x][std::size_t(c)]; });
    // Interleaved storage with padding, so a stride mistake lands on a wrong element.
    std::vector<float> storage(200, -1.0f);
    TensorView view{static_cast<int>(TensorElementType::float32), {1, 3, 4, 5}, {0, 1, 16, 3},
                    storage.data(), storage.size()};
    fillInputTensor(tile, view);
    // Transparent white enters as black, half-covered colour premultiplied; the rest is black.
    const struct {
        int c, y, x;
        float value;
    } expected[] = {{0, 0, 0, 1}, {1, 0, 1, 1}, {2, 0, 2, 1}, {1, 1, 0, 20 / 255.0f}, {0, 1, 1, 0},
                    {0, 1, 2, 100 / 255.0f}, {1, 1, 2, 50 / 255.0f}, {0, 0, 4, 0}, {1, 3, 0, 0}, {2, 2, 3, 0}};
    for (const auto& e : expected)
        EXPECT_FLOAT_EQ(storage[std::size_t(e.c + e.y * 16 + e.x * 3)], e.value) << e.c << e.y << e.x;
}

} // namespace
} // namespace glintwork
