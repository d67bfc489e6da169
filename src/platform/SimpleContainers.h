#pragma once

#include <QByteArray>

#include "platform/Image.h"

// Byte-level work on the two simple formats libvips leaves to us; PNG's lives in
// PngContainer and TIFF's EXIF in TiffExif.
namespace glintwork::SimpleContainers {

// The JPEG without its EXIF segment: libvips writes one for every JPEG, wanted or not.
// Anything that does not parse as JPEG markers comes back unchanged.
[[nodiscard]] QByteArray withoutExifSegment(const QByteArray& jpeg);

// Uncompressed Truevision TGA of a packed 8-bit RGBA image: bottom-up rows of 24-bit BGR,
// or 32-bit BGRA with `alpha`.
[[nodiscard]] QByteArray tga(const Image& rgba, bool alpha);

} // namespace glintwork::SimpleContainers
