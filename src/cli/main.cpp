#include <atomic>
#include <csignal>
#include <cstdio>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTimer>

#include "cli/BatchReporter.h"
#include "cli/CommandLine.h"
#include "compress/ConversionViewModel.h"

namespace glintwork::cli {

namespace {

constexpr int kExitAllCompleted = 0;
constexpr int kExitSomeFailed = 1;
constexpr int kExitUsage = 2;

std::atomic<bool> g_interrupted{false};

void onInterrupt(int) {
    g_interrupted = true;
    // A second Ctrl-C ends the program at once.
    std::signal(SIGINT, SIG_DFL);
}

void printError(const QString& text) {
    const QByteArray bytes = (QStringLiteral("glintwork-cli: ") + text + QLatin1Char('\n')).toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stderr);
}

// The files and folders named on the command line, as absolute file URLs; names that do
// not exist are reported and skipped.
QList<QUrl> inputURLs(const QStringList& paths) {
    QList<QUrl> urls;
    for (const QString& path : paths) {
        const QFileInfo info(path);
        if (!info.exists()) {
            printError(QStringLiteral("%1: no such file or folder").arg(path));
            continue;
        }
        urls.append(QUrl::fromLocalFile(info.absoluteFilePath()));
    }
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

// What every subcommand does once its driver is configured: take the files, keep this
// shard's share, run, report, and turn the outcome into an exit status.
template <typename Driver, typename Start, typename Cancel>
int runBatch(Driver& driver, const CommonOptions& common, Start start, Cancel cancel) {
    driver.addFiles(inputURLs(common.paths));
    if (common.shardCount > 1) {
        const ItemList all = driver.items();
        for (qsizetype i = 0; i < all.size(); ++i) {
            if (i % common.shardCount != common.shardIndex)
                driver.removeItem(all[i].get());
        }
    }
    if (driver.items().isEmpty()) {
        printError(QStringLiteral("no supported image files to process"));
        return kExitSomeFailed;
    }

    BatchReporter reporter(driver.items(), common.json, common.quiet);
    bool cancelled = false;
    QObject::connect(&driver, &Driver::runFinished, qApp, [&](bool wasCancelled) {
        cancelled = wasCancelled;
        QCoreApplication::quit();
    });
    QTimer interruptPoll;
    QObject::connect(&interruptPoll, &QTimer::timeout, qApp, [&] {
        if (g_interrupted.exchange(false))
            cancel();
    });
    interruptPoll.start(50);
    std::signal(SIGINT, onInterrupt);
    QTimer::singleShot(0, qApp, [&] { start(); });
    QCoreApplication::exec();
    reporter.finish();
    return reporter.failedOrCancelled() == 0 && !cancelled ? kExitAllCompleted : kExitSomeFailed;
}

int runCompress(const QStringList& arguments) {
    const ParsedCommand command = parseCommandLine(
        arguments,
        {QStringLiteral("--format"), QStringLiteral("--quality"), QStringLiteral("--max-width"),
         QStringLiteral("--max-height")},
        {});
    ConversionSettings settings;
    if (const auto format = command.value(QStringLiteral("--format"))) {
        const auto parsed = outputFormatFromRawValue(*format);
        if (!parsed)
            throw UsageError(QStringLiteral("--format must be webp, jpeg, png, heic or avif, not '%1'").arg(*format));
        settings.outputFormat = *parsed;
    }
    if (const auto quality = command.value(QStringLiteral("--quality")))
        settings.quality = parseInteger(QStringLiteral("--quality"), *quality, 0, 100);
    if (const auto width = command.value(QStringLiteral("--max-width")))
        settings.maxWidth = parseInteger(QStringLiteral("--max-width"), *width, 1, 1'000'000);
    if (const auto height = command.value(QStringLiteral("--max-height")))
        settings.maxHeight = parseInteger(QStringLiteral("--max-height"), *height, 1, 1'000'000);
    settings.resizeEnabled = settings.maxWidth || settings.maxHeight;
    const NamingConfig naming = namingFrom(command.common, settings.namingConfig());
    settings.namingMode = naming.mode;
    settings.nameSuffix = naming.suffix;
    settings.namePrefix = naming.prefix;
    settings.nameStartNumber = naming.startNumber;

    ConversionViewModel driver;
    driver.applySettings(settings);
    driver.setFixedOutputDirectory(outputFolderFrom(command.common));
    if (command.common.jobs)
        driver.setConcurrencyLimit(*command.common.jobs);
    return runBatch(driver, command.common, [&] { driver.startConversion(); },
                    [&] { driver.cancelConversion(); });
}

} // namespace

int run(const QStringList& arguments) {
    if (arguments.isEmpty()) {
        std::fputs(usageText(), stderr);
        return kExitUsage;
    }
    const QString& first = arguments.first();
    if (first == QLatin1String("--help") || first == QLatin1String("-h") ||
        first == QLatin1String("help")) {
        std::fputs(usageText(), stdout);
        return kExitAllCompleted;
    }
    try {
        if (first == QLatin1String("compress"))
            return runCompress(arguments);
        if (first == QLatin1String("cutout") || first == QLatin1String("upscale")) {
            printError(QStringLiteral("the %1 tool is not part of this build yet").arg(first));
            return kExitUsage;
        }
        throw UsageError(QStringLiteral("unknown subcommand '%1'").arg(first));
    } catch (const UsageError& error) {
        printError(error.message());
        std::fputs(usageText(), stderr);
        return kExitUsage;
    }
}

} // namespace glintwork::cli

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Glintwork"));
    return glintwork::cli::run(QCoreApplication::arguments().mid(1));
}
