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

// The files and folders named on the command line as absolute file URLs; intake reports
// the ones that cannot be used.
[[nodiscard]] QList<QUrl> inputURLs(const QStringList& paths);

// The naming options applied over a tool's defaults. --prefix or --start alone select
// custom naming and --suffix alone suffix naming; --naming always wins.
[[nodiscard]] NamingConfig namingFrom(const CommonOptions& common, NamingConfig defaults);

// The --output folder, which must be a folder when it exists.
[[nodiscard]] std::optional<QUrl> outputFolderFrom(const CommonOptions& common);

// What every subcommand does once its driver is configured: take the files, keep this
// shard's share, run with a reporter, and turn the outcome into an exit status.
int runBatch(ToolDriver& driver, const CommonOptions& common);

// The subcommands; each parses its own options and throws UsageError.
int runCompress(const QStringList& arguments);
int runCutout(const QStringList& arguments);
int runUpscale(const QStringList& arguments);

} // namespace glintwork::cli
