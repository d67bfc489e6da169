#pragma once

#include <optional>

#include <QString>

namespace glintwork {

class CancellationToken;

// Writes any decodable image as an opaque palette PNG of at most 64, 128 or 256 colours
// (by quality), down-scaled to fit the limits and shown upright.
namespace PNGQuantizer {

// Largest palette for a compress quality: 64 below 51, 128 up to 75, 256 above.
[[nodiscard]] int maximumColorCount(int quality);

struct TargetSize {
    int width;
    int height;
    friend bool operator==(const TargetSize&, const TargetSize&) = default;
};
// Never enlarges; keeps the aspect ratio; halves round away from zero; at least 1 pixel.
[[nodiscard]] TargetSize targetSize(int width, int height, std::optional<int> maxWidth,
                                    std::optional<int> maxHeight);

// Throws Error: imageUnreadable or imageTooLarge, pixelPreparationFailed,
// quantizationFailed, writeFailed (with the writer's reason). The output is replaced when it
// exists. With a token, a cancellation is noticed between bands of rows while quantizing (and
// before each stage around it) and throws CancelledError, nothing written.
void quantize(const QString& input, const QString& output, int quality, std::optional<int> maxWidth,
              std::optional<int> maxHeight, const CancellationToken* cancellation = nullptr);

} // namespace PNGQuantizer
} // namespace glintwork
