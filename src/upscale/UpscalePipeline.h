#pragma once

#include <functional>

#include <QSet>
#include <QUrl>

#include "upscale/AutoTiler.h"
#include "upscale/UpscaleSettings.h"

namespace glintwork {

class CancellationToken;

// The largest output an upscale writes: its RGBA canvas alone takes 4 bytes a pixel (1 GiB
// here), and the encoder needs about as much again.
inline constexpr qint64 kMaxUpscaledPixels = 16384LL * 16384LL;

// What one file's upscale is asked to do; handed to a worker thread as a copy.
struct UpscaleRequest {
    QUrl input;
    QUrl outputURL;
    UpscaleOutputFormat format = UpscaleOutputFormat::png;
    UpscaleModel model = UpscaleModel::x4plus;
    int factor = 4;
    // Names handed to other files of the run, never taken when outputURL turns out taken.
    QSet<QUrl> reserved;
};

// The whole per-file pipeline off the main thread: decode (turned upright), tile, upscale
// each tile and paint it into the output canvas as it finishes, enlarge the alpha of a
// source with transparency into the canvas, write PNG (with that alpha) or JPEG (laid on
// white) without the source's metadata into a hidden part file in the output folder, and publish
// that under outputURL, or the next free numbered name when something took outputURL meanwhile;
// nothing is ever replaced and nothing is left behind on failure or cancellation. Returns
// the name published. `progress` receives 0 and then (j + 1) / tiles. Throws Error (the
// pipeline's, the upscaler's, the file system's) or CancelledError.
[[nodiscard]] QUrl upscaleFile(const UpscaleRequest& request, const AutoTiler& tiler,
                               CancellationToken& token, const std::function<void(double)>& progress);

} // namespace glintwork
