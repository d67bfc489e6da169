#include "cli/BatchCommand.h"

namespace glintwork::cli {

int runCutout(const QStringList&) {
    printError(QStringLiteral("the cutout tool is not part of this build yet"));
    return kExitUsage;
}

} // namespace glintwork::cli
