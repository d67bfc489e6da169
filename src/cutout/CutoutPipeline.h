#pragma once

#include <functional>
#include <memory>
#include <optional>

#include <QUrl>

#include "batch/FileOutcome.h"
#include "cutout/BackgroundRemoving.h"
#include "cutout/CutoutSettings.h"

namespace glintwork {

class CancellationToken;

// What one cut-out is asked to do; handed to a worker thread as a copy.
struct CutoutRequest {
    QUrl input;
    CutoutMode mode = CutoutMode::lossless;
    CutoutOutputFormat format = CutoutOutputFormat::png;
    QUrl outputURL;
    std::optional<QUrl> maskURL;
};

// The per-file work: decode, mask, cut-out, write, optional mask file, with a
// cancellation check before decoding, after reading metadata, after the mask and after
// the cut-out. A mask file that cannot be written is a warning on the written cut-out.
// Throws the error of the step that failed.
// `progress`, when given, hears the share done after decoding, the mask and the
// composition, before the file is written.
[[nodiscard]] FileOutcome runCutoutPipeline(const CutoutRequest& request,
                                              const std::shared_ptr<const BackgroundRemoving>& remover,
                                              CancellationToken& token,
                                              const std::function<void(double)>& progress = {});

} // namespace glintwork
