#include "cli/BatchCommand.h"

namespace glintwork::cli {

int runUpscale(const QStringList&) {
    printError(QStringLiteral("the upscale tool is not part of this build yet"));
    return kExitUsage;
}

} // namespace glintwork::cli
