#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

// Replaces the R, G and B bytes of every pixel of a tightly packed RGBA buffer (4 * width bytes
// per row) by a colour from a palette of at most maxColors (1 to 256) entries, with error
// diffusion. Alpha bytes are never read or written. Returns 0 on success and -1 for invalid
// arguments (null buffer, empty image, maxColors outside 1...256, a buffer too large to address)
// or when working memory cannot be had; the buffer is untouched whenever -1 comes back.
// Reentrant: every call owns all of its memory and shares nothing with other calls.
__attribute__((visibility("default"))) int32_t
quantette_quantize_rgba(uint8_t* pixels, uint32_t width, uint32_t height, uint32_t maxColors);

// The same, giving up when asked: should_stop(context) is called on the calling thread between
// the stages, between chunks of the colour count and before each band of rows is remapped (a
// band is about 65536 pixels); a non-zero answer ends the call at once with 1, the buffer then
// holding partly remapped rows. A null should_stop never stops. Otherwise the result and the
// pixels are exactly those of quantette_quantize_rgba.
__attribute__((visibility("default"))) int32_t
quantette_quantize_rgba_cancellable(uint8_t* pixels, uint32_t width, uint32_t height,
                                    uint32_t maxColors, int32_t (*should_stop)(void* context),
                                    void* context);
// The same on at most max_threads threads, the calling one included (0: one per processor).
// The pixels come out the same whatever the count.
__attribute__((visibility("default"))) int32_t
quantette_quantize_rgba_threads(uint8_t* pixels, uint32_t width, uint32_t height,
                                uint32_t maxColors, uint32_t max_threads,
                                int32_t (*should_stop)(void* context), void* context);

#ifdef __cplusplus
}
#endif
