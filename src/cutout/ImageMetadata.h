#pragma once

#include <optional>

#include <QByteArray>
#include <QString>

#include "platform/ImageServices.h"

namespace glintwork {

// What a cut-out carries over from its source file: orientation, resolution and the
// camera (EXIF) block. The colour profile travels with the image's colour space instead.
struct ImageMetadata {
    std::optional<int> orientation;
    std::optional<QByteArray> exif;
    std::optional<double> dpiWidth;
    std::optional<double> dpiHeight;

    // Nothing when the file cannot be opened or is not an image. Never throws.
    [[nodiscard]] static std::optional<ImageMetadata> read(const QString& path) noexcept;

    // Sets each present field in `properties`; an empty EXIF block is left out.
    void merge(WriteMetadata& properties) const;

    friend bool operator==(const ImageMetadata&, const ImageMetadata&) = default;
};

} // namespace glintwork
