#pragma once

#include <optional>

#include <QUrl>

#include "batch/ToolDriver.h"
#include "cli/CommandLine.h"

namespace glintwork::cli {

inline constexpr int kExitAllCompleted = 0;
inline constexpr int kExitSomeFailed = 1;
inline constexpr int kExitUsage = 2;

void printError(const QString& text);

// The naming options applied over a tool's defaults. --prefix or --start alone select
// custom naming and --suffix alone suffix naming; --naming always wins.
[[nodiscard]] NamingConfig namingFrom(const CommonOptions& common, NamingConfig naming);

// How the driver names outputs in this run, so that earlier outputs and taken names can be
// told before it starts.
struct OutputPlan {
    NamingConfig naming;
    QString extension;            // the output's, lower case
    std::optional<int> scaleHint; // replaces "{scale}" in a suffix
    bool mask = false;            // a "-mask.png" beside each output
};

// What every subcommand does once its driver is configured: take the files, leave out
// earlier outputs, keep this shard's share, run with a reporter, and turn the outcome into
// an exit status. Throws UsageError.
int runBatch(ToolDriver& driver, const CommonOptions& common, const OutputPlan& plan);

// The subcommands, from parsed options; each throws UsageError.
int runCompress(const ParsedCommand& command);
int runCutout(const ParsedCommand& command);
int runUpscale(const ParsedCommand& command);

} // namespace glintwork::cli
