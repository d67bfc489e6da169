#pragma once

class QWidget;

namespace glintwork {

// A batch that ends while the user looks elsewhere is announced: the short completion
// sound and an attention request on `window`. Nothing happens while the application is
// active or when there is no display to signal on.
void signalBatchCompletion(QWidget* window);

} // namespace glintwork
