#pragma once

#include <QByteArray>

namespace glintwork::ColorProfile {

// Whether an embedded ICC profile describes sRGB: RGB with sRGB's primaries (as a D50
// profile states them) and a tone curve that follows sRGB's. Such files may go to an
// encoder as they are; any other profile means the numbers are not sRGB and must be
// converted first. Unreadable profiles count as not sRGB.
[[nodiscard]] bool isSRGB(const QByteArray& iccProfile);

} // namespace glintwork::ColorProfile
