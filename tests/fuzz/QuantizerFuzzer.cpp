// Feeds arbitrary sizes, colour counts and pixel bytes to quantette_quantize_rgba and checks the
// contract that does not depend on the palette: invalid calls return -1 and leave the buffer
// alone; valid calls return 0, never touch alpha, use at most k colours and are repeatable.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <set>
#include <vector>

#include "quantizer/quantette.h"

namespace {

std::uint32_t readU32(const std::uint8_t*& data, std::size_t& size) {
    std::uint32_t v = 0;
    const std::size_t n = size < 4 ? size : 4;
    std::memcpy(&v, data, n);
    data += n;
    size -= n;
    return v;
}

void check(bool condition) {
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::uint32_t shape = readU32(data, size);
    const std::uint32_t colors = readU32(data, size);
    // Mostly small images (so many runs fit in the time), sometimes a claimed size far beyond
    // the buffer to exercise the argument checks.
    std::uint32_t width = shape & 0x3f;
    std::uint32_t height = (shape >> 6) & 0x3f;
    if ((shape >> 28) == 0xf) {
        width = readU32(data, size);
        height = readU32(data, size);
    }
    const std::uint32_t maxColors = (colors >> 31) ? colors : colors % 260;

    const std::uint64_t pixels = std::uint64_t{width} * height;
    const bool valid = width > 0 && height > 0 && maxColors >= 1 && maxColors <= 256;
    if (valid && pixels > 64 * 64) {
        // Too large to back with a real buffer here: only the null-buffer refusal can be tried.
        check(quantette_quantize_rgba(nullptr, width, height, maxColors) == -1);
        return 0;
    }

    std::vector<std::uint8_t> buffer(valid ? pixels * 4 : 16);
    for (std::size_t i = 0; i < buffer.size(); ++i)
        buffer[i] = size > 0 ? data[i % size] : static_cast<std::uint8_t>(i);
    const std::vector<std::uint8_t> before = buffer;

    const int32_t result = quantette_quantize_rgba(buffer.data(), width, height, maxColors);
    if (!valid) {
        check(result == -1);
        check(buffer == before);
        return 0;
    }
    check(result == 0);

    std::set<std::uint32_t> used;
    for (std::size_t i = 0; i < buffer.size(); i += 4) {
        check(buffer[i + 3] == before[i + 3]);
        used.insert(std::uint32_t{buffer[i]} << 16 | std::uint32_t{buffer[i + 1]} << 8 |
                    buffer[i + 2]);
    }
    check(used.size() <= maxColors);

    std::vector<std::uint8_t> again = before;
    check(quantette_quantize_rgba(again.data(), width, height, maxColors) == 0);
    check(again == buffer);
    return 0;
}
