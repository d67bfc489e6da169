// Nothing of its own: the images moved to support/TestImages. Kept while the widget tests'
// build (tests/ui/CMakeLists.txt) still names this file.
#include "cutout/CutoutTestImages.h"
