#pragma once

#include <cstdint>
#include <optional>

#include <QString>

namespace glintwork {

// Writes an opaque RGBA buffer (4 bytes a pixel, alpha ignored, rows packed) that holds at
// most 256 distinct colours as a palette PNG: the smallest bit depth that fits, the
// palette in order of first appearance. Returns false when the image has more than 256
// colours (nothing is written then); throws Error (writeFailed) when the file cannot be
// written, leaving nothing behind.
[[nodiscard]] bool writeIndexedPNG(const std::uint8_t* rgba, int width, int height,
                                   const QString& path);

} // namespace glintwork
