#include <cstdio>
#include <cstdlib>

#include <QCoreApplication>

#include "cli/BatchCommand.h"
#include "platform/AbandonableWork.h"

namespace glintwork::cli {
namespace {

int run(const QStringList& arguments) {
    if (arguments.isEmpty()) {
        std::fputs(usageText(), stderr);
        return kExitUsage;
    }
    const QString& first = arguments.first();
    // "--help" anywhere, as in "glintwork-cli upscale --help", asks for the usage.
    if (first == QLatin1String("help") || arguments.contains(QLatin1String("--help")) ||
        arguments.contains(QLatin1String("-h"))) {
        std::fputs(usageText(), stdout);
        return kExitAllCompleted;
    }
    try {
        if (first == QLatin1String("compress"))
            return runCompress(arguments);
        if (first == QLatin1String("cutout"))
            return runCutout(arguments);
        if (first == QLatin1String("upscale"))
            return runUpscale(arguments);
        throw UsageError(QStringLiteral("unknown subcommand '%1'").arg(first));
    } catch (const UsageError& error) {
        printError(error.message());
        std::fputs(usageText(), stderr);
        return kExitUsage;
    }
}

} // namespace
} // namespace glintwork::cli

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Glintwork"));
    const int status = glintwork::cli::run(QCoreApplication::arguments().mid(1));
    // An upscale or cut-out given up on Ctrl-C may leave its network's pass computing on
    // another thread; the library's static destructors must not run under it.
    if (glintwork::AbandonableWork::abandonedCount() > 0) {
        std::fflush(nullptr);
        std::_Exit(status);
    }
    return status;
}
