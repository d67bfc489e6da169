#pragma once

#include <QByteArray>
#include <QString>

#include "platform/Image.h"

namespace glintwork::PngContainer {

// Reading and editing PNG files at the level of their chunks.
//
// Large photographs spend most of their PNG writing in zlib, which runs on one core. For
// 8-bit RGB and straight-alpha RGBA images this compresses the rows (each behind the sub
// filter, at zlib's fastest level, as the general writer does) in bands on every core and
// joins the bands into one zlib stream. Empty for any other layout.
[[nodiscard]] QByteArray compressedRows(const Image& image);

// `png`, a complete 8-bit PNG file of the given colour type (2 RGB, 6 RGBA), with its
// header's size set to width × height and its image data replaced by `data`. Empty when
// `png` is not such a file.
[[nodiscard]] QByteArray withImageData(const QByteArray& png, int colourType, int width, int height,
                                       const QByteArray& data);

// libvips always writes a pHYs chunk (1 pixel/mm by default) and repeats eXIf after the
// image data; a PNG without a requested resolution gets none, and eXIf appears once,
// before the image data, as PNG requires. A file that cannot be read comes back as it was.
[[nodiscard]] QByteArray tidied(const QByteArray& png, bool keepResolution);

// Whether the PNG file at `path` records a physical resolution (a pHYs chunk in metres before
// its image data): libpng-based loading reports 1 pixel/mm when it has none.
[[nodiscard]] bool recordsPhysicalResolution(const QString& path);

} // namespace glintwork::PngContainer
