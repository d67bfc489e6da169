#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

#include "TestImages.h"

namespace glintwork::quantizer::test {
namespace {

// A busy image has far more clusters than k, so the palette is (nearly) full: a few entries
// may round to one sRGB colour or go unused by the dither.
TEST(Quantizer, UsesAtMostKColours) {
    const struct {
        std::uint32_t width, height, k;
        std::size_t least;
    } cases[] = {{64, 48, 1, 1},       {64, 48, 2, 2}, {64, 48, 16, 12}, {200, 150, 64, 48},
                 {300, 200, 256, 192}, {1, 1, 256, 1}, {1, 100, 8, 4},   {100, 1, 8, 4}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " k = " << c.k);
        RgbaImage image = photoLikeImage(c.width, c.height, c.k);
        ASSERT_EQ(image.quantize(c.k), 0);
        EXPECT_LE(image.distinctColors().size(), c.k);
        EXPECT_GE(image.distinctColors().size(), c.least);
    }
}

// The sampler restarts from its fixed state and no result depends on timing or thread count.
// The image is large enough to be split into several histogram chunks and remapping bands.
TEST(Quantizer, IsDeterministic) {
    const RgbaImage original = photoLikeImage(1200, 900, 7);
    RgbaImage first = original;
    RgbaImage second = original;
    ASSERT_EQ(first.quantize(200), 0);
    ASSERT_EQ(second.quantize(200), 0);
    EXPECT_EQ(first.bytes, second.bytes);
    EXPECT_NE(first.bytes, original.bytes);
    for (const std::uint32_t threads : {1u, 3u, 16u}) {
        RgbaImage limited = original;
        ASSERT_EQ(quantette_quantize_rgba_threads(limited.bytes.data(), limited.width,
                                                  limited.height, 200, threads, nullptr, nullptr),
                  0);
        EXPECT_EQ(limited.bytes, first.bytes) << threads << " threads";
    }
}

// Asked before every band of rows (about 65536 pixels) and between the stages before them,
// on the calling thread; a stop gives up at once with 1. Asking changes no byte.
TEST(Quantette, CancellableCallAsksPerBandAndStopsWhenTold) {
    const RgbaImage original = photoLikeImage(1200, 900, 3);
    RgbaImage plain = original;
    ASSERT_EQ(plain.quantize(128), 0);
    struct Asked {
        int calls = 0;
        int stopAt = -1;
    };
    const auto ask = [](void* context) -> std::int32_t {
        auto* asked = static_cast<Asked*>(context);
        return ++asked->calls == asked->stopAt ? 1 : 0;
    };
    RgbaImage asked = original;
    Asked never;
    ASSERT_EQ(quantette_quantize_rgba_cancellable(asked.bytes.data(), asked.width, asked.height,
                                                  128, ask, &never),
              0);
    EXPECT_EQ(asked.bytes, plain.bytes);
    const int bands = int((900 + 65536 / 1200 - 1) / (65536 / 1200));
    EXPECT_GE(never.calls, bands);

    for (const int stopAt : {1, never.calls - bands / 2}) {
        RgbaImage stopped = original;
        Asked once{0, stopAt};
        EXPECT_EQ(quantette_quantize_rgba_cancellable(stopped.bytes.data(), stopped.width,
                                                      stopped.height, 128, ask, &once),
                  1);
        EXPECT_EQ(once.calls, stopAt) << "no question after the stop";
        if (stopAt == 1) {
            EXPECT_EQ(stopped.bytes, original.bytes) << "stopped before the first pixel";
        }
    }
}

// Every rejected call must leave the caller's bytes exactly as they were. The buffer is far
// smaller than the claimed sizes, so a call that got past its checks would also trip ASan.
TEST(Quantette, InvalidArgumentsReturnMinusOneAndLeaveTheBufferAlone) {
    const struct {
        const char* name;
        bool nullBuffer;
        std::uint32_t width, height, maxColors;
    } cases[] = {{"null buffer", true, 4, 4, 16},
                 {"zero width", false, 0, 4, 16},
                 {"no colours", false, 4, 4, 0},
                 {"257 colours", false, 4, 4, 257},
                 // 4 * 2^31 * 2^31 wraps to 0 in 64-bit arithmetic.
                 {"byte count wraps to zero", false, 0x80000000u, 0x80000000u, 16},
                 {"more pixels than a 32-bit index", false, 65537, 65537, 16}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::uint8_t> buffer(64, 0x5A);
        const std::vector<std::uint8_t> before = buffer;
        EXPECT_EQ(quantette_quantize_rgba(c.nullBuffer ? nullptr : buffer.data(), c.width, c.height,
                                          c.maxColors),
                  -1);
        EXPECT_EQ(buffer, before);
    }
}

// The bridge has already composited over white, so alpha is never read nor written:
// transparent, translucent and opaque pixels keep their alpha byte, and get the colour they
// would get opaque.
TEST(Quantette, AlphaBytesAreNeitherReadNorWritten) {
    RgbaImage opaque = photoLikeImage(41, 29);
    RgbaImage mixed = opaque;
    for (std::size_t i = 3; i < mixed.bytes.size(); i += 4)
        mixed.bytes[i] = std::uint8_t((i / 4 * 53) % 256); // 0 at the first pixel
    const RgbaImage before = mixed;
    ASSERT_EQ(opaque.quantize(4), 0);
    ASSERT_EQ(mixed.quantize(4), 0);
    EXPECT_LE(mixed.distinctColors().size(), 4u);
    for (std::size_t i = 0; i < mixed.bytes.size(); ++i)
        ASSERT_EQ(mixed.bytes[i], i % 4 == 3 ? before.bytes[i] : opaque.bytes[i]) << "byte " << i;
}

} // namespace
} // namespace glintwork::quantizer::test
