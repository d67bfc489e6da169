#pragma once

namespace glintwork {

// Qt's raster painter splits large fills across the global thread pool and waits for the
// pieces; a batch fills that pool with conversions up to its cap. A view that starts
// batches calls this with the cap so that a few threads always stay free for painting;
// otherwise the window stops repainting until a file finishes.
void keepPoolThreadsForPainting(int batchJobs);

} // namespace glintwork
