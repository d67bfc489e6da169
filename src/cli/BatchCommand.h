#pragma once

#include <optional>

#include <QCoreApplication>
#include <QObject>
#include <QTimer>
#include <QUrl>

#include "batch/ImageItem.h"
#include "cli/BatchReporter.h"
#include "cli/CommandLine.h"
#include "platform/StopSignals.h"

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
// shard's share, run with a reporter, and turn the outcome into an exit status. The
// driver needs addFiles, items, removeItem and a runFinished(bool cancelled) signal.
template <typename Driver, typename Start, typename Cancel>
int runBatch(Driver& driver, const CommonOptions& common, Start start, Cancel cancel) {
    // Ctrl-C, SIGTERM and SIGHUP cancel like the Cancel button, from the very start.
    StopSignals stopSignals;
    bool stopped = false;
    QList<IntakeProblem> problems;
    QObject::connect(&driver, &Driver::intakeProblems, qApp,
                     [&](const QList<IntakeProblem>& found) { problems += found; });
    driver.addFiles(inputURLs(common.paths));
    if (common.shardCount > 1) {
        const ItemList all = driver.items();
        for (qsizetype i = 0; i < all.size(); ++i) {
            if (i % common.shardCount != common.shardIndex)
                driver.removeItem(all[i].get());
        }
    }
    BatchReporter reporter(driver.items(), common.json, common.quiet);
    for (const IntakeProblem& problem : problems)
        reporter.reportProblem(problem);
    if (driver.items().isEmpty()) {
        reporter.finish();
        if (problems.isEmpty())
            printError(QStringLiteral("no supported image files to process"));
        return kExitSomeFailed;
    }

    bool cancelled = false;
    QObject::connect(&driver, &Driver::runFinished, qApp, [&](bool wasCancelled) {
        cancelled = wasCancelled;
        QCoreApplication::quit();
    });
    QObject::connect(&stopSignals, &StopSignals::stopRequested, qApp, [&] {
        stopped = true;
        if (driver.isRunning()) {
            cancel();
        } else {
            cancelled = true;
            QCoreApplication::quit();
        }
    });
    QTimer::singleShot(0, qApp, [&] {
        if (!stopped)
            start();
    });
    QCoreApplication::exec();
    reporter.finish();
    return reporter.failedOrCancelled() == 0 && !cancelled ? kExitAllCompleted : kExitSomeFailed;
}

// The subcommands; each parses its own options and throws UsageError.
int runCompress(const QStringList& arguments);
int runCutout(const QStringList& arguments);
int runUpscale(const QStringList& arguments);

} // namespace glintwork::cli
