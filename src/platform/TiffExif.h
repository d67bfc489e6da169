#pragma once

#include <optional>

#include <QByteArray>
#include <QString>

namespace glintwork::TiffExif {

// `tiff` (a complete classic TIFF file) with the EXIF sub-IFD of `exif` (a raw EXIF block
// as libvips keeps it: "Exif\0\0" then a TIFF-structured block) linked from its first
// directory. Entries libtiff does not know or cannot take are left out; an empty, malformed
// or entry-less block leaves `tiff` as it was. Never throws.
[[nodiscard]] QByteArray withExifDirectory(const QByteArray& tiff, const QByteArray& exif);

// The EXIF sub-IFD linked from the first directory of the TIFF file at `path`, rebuilt as a
// raw EXIF block in the form withExifDirectory takes; nothing when the file has none or it
// cannot be read. Never throws.
[[nodiscard]] std::optional<QByteArray> exifOf(const QString& path);

} // namespace glintwork::TiffExif
