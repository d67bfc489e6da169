#include "cli/BatchCommand.h"

#include <cstdio>

#include <QCoreApplication>
#include <QFileInfo>
#include <QTimer>

#include "cli/BatchReporter.h"
#include "platform/StopSignals.h"

namespace glintwork::cli {

void printError(const QString& text) {
    const QByteArray bytes = (QStringLiteral("glintwork-cli: ") + text + QLatin1Char('\n')).toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stderr);
}

QList<QUrl> inputURLs(const QStringList& paths) {
    QList<QUrl> urls;
    for (const QString& path : paths)
        urls.append(QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()));
    return urls;
}

NamingConfig namingFrom(const CommonOptions& common, NamingConfig naming) {
    if (common.naming)
        naming.mode = *common.naming;
    else if (common.prefix || common.start)
        naming.mode = NamingMode::custom;
    else if (common.suffix)
        naming.mode = NamingMode::suffix;
    if (common.suffix)
        naming.suffix = sanitizeNameComponent(*common.suffix);
    if (common.prefix)
        naming.prefix = sanitizeNameComponent(*common.prefix);
    if (common.start) {
        const auto start = cleanedStartNumber(*common.start);
        if (!start || *start != *common.start)
            throw UsageError(QStringLiteral("--start takes up to six digits, not '%1'").arg(*common.start));
        naming.startNumber = *start;
    }
    return naming;
}

std::optional<QUrl> outputFolderFrom(const CommonOptions& common) {
    if (!common.outputDirectory)
        return std::nullopt;
    const QFileInfo info(*common.outputDirectory);
    if (info.exists() && !info.isDir())
        throw UsageError(QStringLiteral("--output %1 is not a folder").arg(*common.outputDirectory));
    return QUrl::fromLocalFile(info.absoluteFilePath());
}

int runBatch(ToolDriver& driver, const CommonOptions& common) {
    // Ctrl-C, SIGTERM and SIGHUP cancel like the Cancel button, from the very start.
    StopSignals stopSignals;
    bool stopped = false;
    QList<IntakeProblem> problems;
    QObject::connect(&driver, &ToolDriver::intakeProblems, qApp,
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
    QObject::connect(&driver, &ToolDriver::runFinished, qApp, [&](bool wasCancelled) {
        cancelled = wasCancelled;
        QCoreApplication::quit();
    });
    QObject::connect(&stopSignals, &StopSignals::stopRequested, qApp, [&] {
        stopped = true;
        if (driver.isRunning()) {
            driver.cancel();
        } else {
            cancelled = true;
            QCoreApplication::quit();
        }
    });
    QTimer::singleShot(0, qApp, [&] {
        if (!stopped)
            driver.start();
    });
    QCoreApplication::exec();
    reporter.finish();
    return reporter.failedOrCancelled() == 0 && !cancelled ? kExitAllCompleted : kExitSomeFailed;
}

} // namespace glintwork::cli
