#pragma once

#include "platform/Image.h"

namespace glintwork {

// A source of subject masks: packed 8-bit grey images in which 255 means subject. The
// batch driver holds one behind this interface, so a test double or another back end can
// stand in. It may run on any thread; implementations keep no shared state.
class BackgroundRemoving {
public:
    virtual ~BackgroundRemoving() = default;

    // The mask of every detected subject. Throws Error (CutoutErrors).
    [[nodiscard]] virtual Image generateMask(const Image& image) const = 0;
};

} // namespace glintwork
