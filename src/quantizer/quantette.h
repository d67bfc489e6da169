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

#ifdef __cplusplus
}
#endif
