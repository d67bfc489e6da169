#pragma once

#include <functional>
#include <vector>

#include "platform/Image.h"

namespace glintwork {

// What the batch driver asks of a super-resolution engine: one tile in, the tile times the
// engine's factor out, fully opaque. Called from one worker thread at a time.
class Upscaler {
public:
    virtual ~Upscaler() = default;

    // `scale` and `progress` exist for engines that honour them; progress is a fraction and
    // may be reported from any thread.
    [[nodiscard]] virtual Image upscale(const Image& tile, int scale,
                                        const std::function<void(double)>& progress) = 0;
};

} // namespace glintwork
