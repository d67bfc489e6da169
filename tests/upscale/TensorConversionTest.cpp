#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <limits>

#include "upscale/DnnUpscalerError.h"
#include "upscale/TensorConversion.h"
#include "UpscaleTestImages.h"

namespace glintwork {
namespace {

using test::pixelAt;

// Single to half for the values these tests use (normal numbers, zero, exactly
// representable).
std::uint16_t floatToHalf(float value) {
    if (value == 0.0f)
        return std::signbit(value) ? 0x8000 : 0;
    const auto bits = std::bit_cast<std::uint32_t>(value);
    const std::uint32_t sign = (bits >> 16) & 0x8000u;
    const int exponent = int((bits >> 23) & 0xff) - 127 + 15;
    return std::uint16_t(sign | std::uint32_t(exponent) << 10 | ((bits >> 13) & 0x3ffu));
}

// A [1, 3, h, w] tensor whose storage order is given by `order` (the dimension that varies
// fastest last) plus `rowPadding` unused elements at the end of every row.
template <typename T>
struct OwnedTensor {
    std::vector<T> storage;
    TensorView view;
};

enum class Layout { planar, interleaved, paddedRows };

template <typename T>
OwnedTensor<T> makeTensor(int width, int height, Layout layout, TensorElementType type,
                          const std::function<float(int c, int y, int x)>& value,
                          const std::function<T(float)>& encode) {
    OwnedTensor<T> tensor;
    auto& v = tensor.view;
    v.typeCode = static_cast<int>(type);
    v.shape = {1, 3, height, width};
    switch (layout) {
    case Layout::planar:
        v.strides = {3LL * height * width, 1LL * height * width, width, 1};
        break;
    case Layout::interleaved:
        v.strides = {3LL * height * width, 1, 3LL * width, 3};
        break;
    case Layout::paddedRows:
        v.strides = {3LL * height * (width + 5), 1LL * height * (width + 5), width + 5, 1};
        break;
    }
    v.elementCount = std::size_t(v.strides[0]);
    tensor.storage.assign(v.elementCount, encode(-7.0f));
    for (int c = 0; c < 3; ++c)
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                tensor.storage[std::size_t(c * v.strides[1] + y * v.strides[2] + x * v.strides[3])] =
                    encode(value(c, y, x));
    v.data = tensor.storage.data();
    return tensor;
}

float pattern(int c, int y, int x) {
    return float((c * 53 + y * 17 + x * 5) % 96) / 64.0f - 0.25f;
}

const auto asFloat = [](float v) { return v; };
const auto asHalf = [](float v) { return floatToHalf(v); };

std::string failureText(const std::function<void()>& run) {
    try {
        run();
    } catch (const DnnUpscalerError& error) {
        return error.description().toStdString();
    }
    return "(no error)";
}

struct ByteCase {
    float value;
    std::uint8_t expected;
};

class ByteRoundingTest : public ::testing::TestWithParam<ByteCase> {};

TEST_P(ByteRoundingTest, ValueBecomesClampedRoundedByte) {
    const auto [value, expected] = GetParam();
    EXPECT_EQ(byteFromUnitFloat(value), expected);
    // The same through a whole tensor conversion.
    const auto tensor = makeTensor<float>(1, 1, Layout::planar, TensorElementType::float32,
                                          [&](int, int, int) { return value; }, asFloat);
    const Image image = imageFromOutputTensor(tensor.view, 1, 1);
    EXPECT_EQ(pixelAt(image, 0, 0), (Pixel{expected, expected, expected, 255}));
}

INSTANTIATE_TEST_SUITE_P(
    Values, ByteRoundingTest,
    ::testing::Values(ByteCase{-0.3f, 0}, ByteCase{-0.0f, 0}, ByteCase{0.0f, 0},
                      ByteCase{0.5f, 128}, ByteCase{0.2f, 51}, ByteCase{1.0f, 255},
                      ByteCase{1.7f, 255}, ByteCase{1.0f / 255.0f * 0.49f, 0},
                      ByteCase{std::numeric_limits<float>::quiet_NaN(), 255},
                      ByteCase{std::numeric_limits<float>::infinity(), 255},
                      ByteCase{-std::numeric_limits<float>::infinity(), 0}));

struct HalfCase {
    std::uint16_t half;
    float expected;
};

class HalfToFloatTest : public ::testing::TestWithParam<HalfCase> {};

TEST_P(HalfToFloatTest, WidensExactly) {
    EXPECT_EQ(halfToFloat(GetParam().half), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Values, HalfToFloatTest,
    ::testing::Values(HalfCase{0x0000, 0.0f}, HalfCase{0x3c00, 1.0f}, HalfCase{0x3800, 0.5f},
                      HalfCase{0xc000, -2.0f}, HalfCase{0x0001, std::ldexp(1.0f, -24)},
                      HalfCase{0x03ff, 1023 * std::ldexp(1.0f, -24)},
                      HalfCase{0x0400, std::ldexp(1.0f, -14)}, HalfCase{0x7bff, 65504.0f},
                      HalfCase{0x7c00, std::numeric_limits<float>::infinity()}));

TEST(TensorConversionTest, HalfAndSingleFloatsGiveIdenticalImagesInAnyLayout) {
    const Image reference = imageFromOutputTensor(
        makeTensor<float>(9, 7, Layout::planar, TensorElementType::float32, pattern, asFloat).view, 9, 7);
    for (const Layout layout : {Layout::planar, Layout::interleaved, Layout::paddedRows}) {
        const auto single = makeTensor<float>(9, 7, layout, TensorElementType::float32, pattern, asFloat);
        const auto half =
            makeTensor<std::uint16_t>(9, 7, layout, TensorElementType::float16, pattern, asHalf);
        EXPECT_EQ(imageFromOutputTensor(single.view, 9, 7), reference) << int(layout);
        EXPECT_EQ(imageFromOutputTensor(half.view, 9, 7), reference) << int(layout);
    }
    // Spot check that channels were not swapped: (c, y, x) = (2, 3, 4).
    EXPECT_EQ(pixelAt(reference, 4, 3)[2], byteFromUnitFloat(pattern(2, 3, 4)));
    EXPECT_EQ(pixelAt(reference, 4, 3)[0], byteFromUnitFloat(pattern(0, 3, 4)));
}

TEST(TensorConversionTest, ReadsOnlyTheTopLeftRegionAsked) {
    const auto tensor = makeTensor<float>(8, 8, Layout::planar, TensorElementType::float32, pattern, asFloat);
    const Image whole = imageFromOutputTensor(tensor.view, 8, 8);
    const Image corner = imageFromOutputTensor(tensor.view, 3, 5);
    ASSERT_EQ(corner.width, 3);
    ASSERT_EQ(corner.height, 5);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 3; ++x)
            EXPECT_EQ(pixelAt(corner, x, y), pixelAt(whole, x, y));
}

TEST(TensorConversionTest, DoubleFloatsAreRefusedWithTheirTypeCode) {
    std::vector<double> storage(3 * 4 * 4, 0.5);
    TensorView view{static_cast<int>(TensorElementType::float64), {1, 3, 4, 4}, {48, 16, 4, 1},
                    storage.data(), storage.size()};
    EXPECT_EQ(failureText([&] { (void)imageFromOutputTensor(view, 4, 4); }),
              "Upscale inference failed: unsupported output dtype 65600");
}

TEST(TensorConversionTest, TensorsThatWouldBeReadOutOfBoundsFailTheTile) {
    std::vector<float> storage(3 * 4 * 4, 0.5f);
    const TensorView good{static_cast<int>(TensorElementType::float32), {1, 3, 4, 4}, {48, 16, 4, 1},
                          storage.data(), storage.size()};
    struct Case {
        const char* what;
        std::function<void(TensorView&)> change;
        std::string expected;
    };
    const std::vector<Case> cases{
        {"rank 3", [](TensorView& v) { v.shape = {3, 4, 4}; v.strides = {16, 4, 1}; },
         "Upscale inference failed: output tensor has 3 dimensions, expected 4"},
        {"too few rows", [](TensorView& v) { v.shape[2] = 2; },
         "Upscale inference failed: output tensor [1, 3, 2, 4] is smaller than 3 × 4 × 4"},
        {"two channels", [](TensorView& v) { v.shape[1] = 2; },
         "Upscale inference failed: output tensor [1, 2, 4, 4] is smaller than 3 × 4 × 4"},
        {"storage short", [](TensorView& v) { v.elementCount = 40; },
         "Upscale inference failed: output tensor strides reach past its data"},
        {"stride too long", [](TensorView& v) { v.strides[2] = 5; },
         "Upscale inference failed: output tensor strides reach past its data"},
        {"negative stride", [](TensorView& v) { v.strides[3] = -1; },
         "Upscale inference failed: output tensor strides reach past its data"},
    };
    for (const auto& c : cases) {
        TensorView view = good;
        c.change(view);
        EXPECT_EQ(failureText([&] { (void)imageFromOutputTensor(view, 4, 4); }), c.expected) << c.what;
    }
    EXPECT_EQ(failureText([&] { (void)imageFromOutputTensor(good, 4, 4); }), "(no error)");
}

TEST(TensorConversionTest, InputTileLandsTopLeftOnBlackWithPremultipliedColour) {
    Image tile = Image::make(3, 2, 8, AlphaInfo::last, ColorSpace::sRGB(), 3);
    const Pixel colours[2][3] = {{{255, 0, 0, 255}, {0, 255, 0, 255}, {0, 0, 255, 255}},
                                 {{10, 20, 30, 255}, {255, 255, 255, 0}, {200, 100, 50, 128}}};
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            for (int c = 0; c < 4; ++c)
                tile.row(y)[x * 4 + c] = colours[y][x][std::size_t(c)];

    // Interleaved storage with padding, so a stride mistake lands on a wrong element.
    std::vector<float> storage(200, -1.0f);
    TensorView view{static_cast<int>(TensorElementType::float32), {1, 3, 4, 5}, {0, 1, 16, 3},
                    storage.data(), storage.size()};
    fillInputTensor(tile, view);
    const auto at = [&](int c, int y, int x) { return storage[std::size_t(c + y * 16 + x * 3)]; };
    EXPECT_FLOAT_EQ(at(0, 0, 0), 1.0f);
    EXPECT_FLOAT_EQ(at(1, 0, 1), 1.0f);
    EXPECT_FLOAT_EQ(at(2, 0, 2), 1.0f);
    EXPECT_FLOAT_EQ(at(1, 1, 0), 20.0f / 255.0f);
    EXPECT_FLOAT_EQ(at(0, 1, 1), 0.0f); // fully transparent white enters as black
    EXPECT_FLOAT_EQ(at(0, 1, 2), 100.0f / 255.0f); // 200 × 128 / 255
    EXPECT_FLOAT_EQ(at(1, 1, 2), 50.0f / 255.0f);
    for (int c = 0; c < 3; ++c) {
        EXPECT_EQ(at(c, 0, 4), 0.0f);
        EXPECT_EQ(at(c, 3, 0), 0.0f);
        EXPECT_EQ(at(c, 2, 3), 0.0f);
    }
}

TEST(TensorConversionTest, InputTensorOfAnotherTypeIsRefused) {
    std::vector<double> storage(48);
    TensorView view{static_cast<int>(TensorElementType::float64), {1, 3, 4, 4}, {48, 16, 4, 1},
                    storage.data(), storage.size()};
    EXPECT_EQ(failureText([&] { fillInputTensor(test::solidImage(2, 2, {1, 2, 3, 255}), view); }),
              "Upscale inference failed: input context creation failed");
}

} // namespace
} // namespace glintwork
