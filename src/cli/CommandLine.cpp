#include "cli/CommandLine.h"

namespace glintwork::cli {

namespace {

const QStringList kCommonValueOptions{
    QStringLiteral("--output"), QStringLiteral("--naming"), QStringLiteral("--suffix"),
    QStringLiteral("--prefix"), QStringLiteral("--start"),  QStringLiteral("--jobs"),
    QStringLiteral("--shard")};

void applyCommon(CommonOptions& common, const QString& name, const QString& value) {
    if (name == QLatin1String("--output")) {
        common.outputDirectory = value;
    } else if (name == QLatin1String("--naming")) {
        common.naming = namingModeFromRawValue(value);
        if (!common.naming)
            throw UsageError(QStringLiteral("--naming must be original, suffix or custom, not '%1'").arg(value));
    } else if (name == QLatin1String("--suffix")) {
        common.suffix = value;
    } else if (name == QLatin1String("--prefix")) {
        common.prefix = value;
    } else if (name == QLatin1String("--start")) {
        common.start = value;
    } else if (name == QLatin1String("--jobs")) {
        common.jobs = parseInteger(name, value, 1, 256);
    } else if (name == QLatin1String("--shard")) {
        const QStringList parts = value.split(QLatin1Char('/'));
        if (parts.size() != 2)
            throw UsageError(QStringLiteral("--shard takes I/N, for example 0/4"));
        common.shardCount = parseInteger(name, parts[1], 1, 1'000'000);
        common.shardIndex = parseInteger(name, parts[0], 0, common.shardCount - 1);
    }
}

} // namespace

std::optional<QString> ParsedCommand::value(const QString& name) const {
    std::optional<QString> found;
    for (const auto& [key, value] : values) {
        if (key == name)
            found = value; // the last one given wins, as usual for command lines
    }
    return found;
}

int parseInteger(const QString& option, const QString& text, int minimum, int maximum) {
    bool ok = false;
    const qlonglong value = text.toLongLong(&ok);
    if (!ok || value < minimum || value > maximum)
        throw UsageError(QStringLiteral("%1 needs a whole number from %2 to %3, not '%4'")
                             .arg(option)
                             .arg(minimum)
                             .arg(maximum)
                             .arg(text));
    return static_cast<int>(value);
}

ParsedCommand parseCommandLine(const QStringList& arguments, const QStringList& valueOptions,
                               const QStringList& flagOptions) {
    if (arguments.isEmpty())
        throw UsageError(QStringLiteral("missing subcommand"));
    ParsedCommand command;
    command.subcommand = arguments.first();
    bool onlyPaths = false;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        QString argument = arguments[i];
        if (onlyPaths || !argument.startsWith(QLatin1String("--")) || argument == QLatin1String("--")) {
            if (argument == QLatin1String("--") && !onlyPaths)
                onlyPaths = true;
            else
                command.common.paths.append(argument);
            continue;
        }
        std::optional<QString> inlineValue;
        if (const qsizetype eq = argument.indexOf(QLatin1Char('=')); eq > 0) {
            inlineValue = argument.mid(eq + 1);
            argument = argument.left(eq);
        }
        if (argument == QLatin1String("--json") || argument == QLatin1String("--quiet") ||
            flagOptions.contains(argument)) {
            if (inlineValue)
                throw UsageError(QStringLiteral("%1 takes no value").arg(argument));
            if (argument == QLatin1String("--json"))
                command.common.json = true;
            else if (argument == QLatin1String("--quiet"))
                command.common.quiet = true;
            else
                command.flags.append(argument);
            continue;
        }
        const bool common = kCommonValueOptions.contains(argument);
        if (!common && !valueOptions.contains(argument))
            throw UsageError(QStringLiteral("unknown option %1").arg(argument));
        QString value;
        if (inlineValue) {
            value = *inlineValue;
        } else {
            if (i + 1 >= arguments.size())
                throw UsageError(QStringLiteral("%1 needs a value").arg(argument));
            value = arguments[++i];
        }
        if (common)
            applyCommon(command.common, argument, value);
        else
            command.values.append({argument, value});
    }
    if (command.common.paths.isEmpty())
        throw UsageError(QStringLiteral("no files or folders given"));
    return command;
}

const char* usageText() {
    return "usage: glintwork-cli compress [--format webp|jpeg|png|heic|avif] [--quality N]\n"
           "                              [--max-width W] [--max-height H] COMMON PATH...\n"
           "       glintwork-cli cutout   [--mode clean-edges|lossless] [--format png|tiff]\n"
           "                              [--export-mask] COMMON PATH...\n"
           "       glintwork-cli upscale  [--style auto|general|anime] [--scale 2|4] [--fast]\n"
           "                              [--format png|jpeg] COMMON PATH...\n"
           "COMMON: [--output DIR] [--naming original|suffix|custom] [--suffix S] [--prefix P]\n"
           "        [--start N] [--jobs N] [--shard I/N] [--json] [--quiet]\n"
           "\n"
           "PATH may be files or folders (searched recursively). Outputs go next to each input\n"
           "unless --output is given; an existing file is never replaced. Exit status: 0 when\n"
           "every file completed, 1 when some failed or were cancelled (Ctrl-C), 2 on a usage\n"
           "error.\n"
           "\n"
           "upscale --fast runs the compact network (general, or anime at 4x): many times\n"
           "faster on a CPU, a little less detail.\n";
}

} // namespace glintwork::cli
