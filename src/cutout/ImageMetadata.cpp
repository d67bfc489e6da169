#include "cutout/ImageMetadata.h"

namespace glintwork {

std::optional<ImageMetadata> ImageMetadata::read(const QString& path) noexcept {
    const std::optional<ImageProperties> properties = ImageServices::readProperties(path);
    if (!properties)
        return std::nullopt;
    ImageMetadata metadata;
    metadata.orientation = properties->orientation;
    metadata.exif = properties->exif;
    metadata.dpiWidth = properties->dpiWidth;
    metadata.dpiHeight = properties->dpiHeight;
    return metadata;
}

void ImageMetadata::merge(WriteMetadata& properties) const {
    if (orientation)
        properties.orientation = orientation;
    if (dpiWidth)
        properties.dpiWidth = dpiWidth;
    if (dpiHeight)
        properties.dpiHeight = dpiHeight;
    if (exif && !exif->isEmpty())
        properties.exif = exif;
}

} // namespace glintwork
