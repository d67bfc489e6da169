#include <csignal>
#include <cstdio>
#include <cstdlib>

#include <QCoreApplication>

#include "cli/BatchCommand.h"
#include "platform/AbandonableWork.h"
#include "platform/ThreadBudget.h"

namespace glintwork::cli {
namespace {

void print(std::FILE* stream, const QString& text) {
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stream);
    std::fflush(stream);
}

// Help asked for goes to standard output and succeeds, unless standard output is gone.
int printHelp(const QString& text) {
    print(stdout, text);
    return std::ferror(stdout) ? kExitSomeFailed : kExitAllCompleted;
}

int run(const QStringList& arguments) {
    if (arguments.isEmpty()) {
        print(stderr, overviewHelp());
        return kExitUsage;
    }
    const QString& first = arguments.first();
    if (first == QLatin1String("--help") || first == QLatin1String("-h"))
        return printHelp(overviewHelp());
    if (first == QLatin1String("help")) {
        const SubcommandInfo* subcommand =
            arguments.size() > 1 ? findSubcommand(arguments[1]) : nullptr;
        return printHelp(subcommand ? subcommandHelp(*subcommand) : overviewHelp());
    }
    if (first == QLatin1String("--version") || first == QLatin1String("-V"))
        return printHelp(versionText());
    const SubcommandInfo* subcommand = findSubcommand(first);
    try {
        const ParsedCommand command = parseCommandLine(arguments);
        if (command.helpAsked)
            return printHelp(subcommandHelp(*command.subcommand));
        if (first == QLatin1String("compress"))
            return runCompress(command);
        if (first == QLatin1String("cutout"))
            return runCutout(command);
        return runUpscale(command);
    } catch (const UsageError& error) {
        printError(error.message());
        print(stderr, subcommand ? QStringLiteral("Try 'glintwork-cli %1 --help'.\n").arg(first)
                                 : overviewHelp());
        return kExitUsage;
    }
}

} // namespace
} // namespace glintwork::cli

int main(int argc, char** argv) {
    // A closed pipe on standard output ("| head -n 1") is a failed write, reported and
    // handled like a cancel, not a signal that kills the run halfway through a file.
    std::signal(SIGPIPE, SIG_IGN);
    QCoreApplication app(argc, argv);
    glintwork::ThreadBudget::apply();
    QCoreApplication::setApplicationName(QStringLiteral("Glintwork"));
    const int status = glintwork::cli::run(glintwork::cli::argumentsFrom(argc, argv));
    // An upscale or cut-out given up on Ctrl-C may leave its network's pass computing on
    // another thread; the library's static destructors must not run under it.
    if (glintwork::AbandonableWork::abandonedCount() > 0) {
        std::fflush(nullptr);
        std::_Exit(status);
    }
    return status;
}
