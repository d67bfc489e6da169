#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

#include "TestImages.h"
#include "quantizer/quantette.h"

namespace glintwork::quantizer::test {
namespace {

struct InvalidCall {
    const char* name;
    bool nullBuffer;
    std::uint32_t width;
    std::uint32_t height;
    std::uint32_t maxColors;
};

class InvalidArguments : public ::testing::TestWithParam<InvalidCall> {};

// Every rejected call must leave the caller's bytes exactly as they were. The buffer is far
// smaller than the claimed sizes, so a call that got past its checks would also trip ASan.
TEST_P(InvalidArguments, ReturnMinusOneAndLeaveTheBufferAlone) {
    const InvalidCall& call = GetParam();
    std::vector<std::uint8_t> buffer(64);
    for (std::size_t i = 0; i < buffer.size(); ++i)
        buffer[i] = static_cast<std::uint8_t>(i * 37);
    const std::vector<std::uint8_t> before = buffer;

    const int32_t result = quantette_quantize_rgba(call.nullBuffer ? nullptr : buffer.data(),
                                                   call.width, call.height, call.maxColors);

    EXPECT_EQ(result, -1);
    EXPECT_EQ(buffer, before);
}

INSTANTIATE_TEST_SUITE_P(
    Quantette, InvalidArguments,
    ::testing::Values(
        InvalidCall{"NullBuffer", true, 4, 4, 16}, InvalidCall{"ZeroWidth", false, 0, 4, 16},
        InvalidCall{"ZeroHeight", false, 4, 0, 16}, InvalidCall{"ZeroByZero", false, 0, 0, 16},
        InvalidCall{"NoColours", false, 4, 4, 0}, InvalidCall{"TooManyColours", false, 4, 4, 257},
        InvalidCall{"HugeColourCount", false, 4, 4, 0xFFFFFFFFu},
        // 4 * 2^31 * 2^31 wraps to 0 in 64-bit arithmetic.
        InvalidCall{"ByteCountWrapsToZero", false, 0x80000000u, 0x80000000u, 16},
        // More pixels than a 32-bit index can address.
        InvalidCall{"MorePixelsThanIndexable", false, 65537, 65537, 16}),
    [](const ::testing::TestParamInfo<InvalidCall>& info) { return info.param.name; });

// The entry point never reads alpha (the bridge has already composited over white) and never
// writes it: transparent, translucent and opaque pixels keep their alpha byte, and the colour
// they get does not depend on it.
TEST(Quantette, AlphaBytesAreNeitherReadNorWritten) {
    RgbaImage opaque = photoLikeImage(41, 29);
    RgbaImage mixed = opaque;
    for (std::size_t i = 3; i < mixed.bytes.size(); i += 4)
        mixed.bytes[i] = static_cast<std::uint8_t>((i * 53) % 256);
    const RgbaImage mixedBefore = mixed;

    ASSERT_EQ(quantette_quantize_rgba(opaque.bytes.data(), opaque.width, opaque.height, 32), 0);
    ASSERT_EQ(quantette_quantize_rgba(mixed.bytes.data(), mixed.width, mixed.height, 32), 0);

    for (std::size_t i = 0; i < mixed.bytes.size(); i += 4) {
        ASSERT_EQ(mixed.bytes[i + 3], mixedBefore.bytes[i + 3]) << "pixel " << i / 4;
        for (std::size_t c = 0; c < 3; ++c)
            ASSERT_EQ(mixed.bytes[i + c], opaque.bytes[i + c]) << "pixel " << i / 4;
    }
}

TEST(Quantette, FullyTransparentPixelsStillGetPaletteColours) {
    RgbaImage image = photoLikeImage(20, 20);
    for (std::size_t i = 3; i < image.bytes.size(); i += 4)
        image.bytes[i] = 0;
    ASSERT_EQ(quantette_quantize_rgba(image.bytes.data(), image.width, image.height, 4), 0);
    EXPECT_LE(image.distinctColors().size(), 4u);
    for (std::size_t i = 3; i < image.bytes.size(); i += 4)
        ASSERT_EQ(image.bytes[i], 0);
}

} // namespace
} // namespace glintwork::quantizer::test
