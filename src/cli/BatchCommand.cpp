#include "cli/BatchCommand.h"

#include <cstdio>

#include <QFileInfo>

#include "platform/ExitCleanup.h"

namespace glintwork::cli {

namespace {

std::atomic<bool> g_interrupted{false};
std::atomic<int> g_signalCount{0};

// The first signal asks for an orderly cancel; a second one, while that is still under way,
// quits at once, but only after the children are dead and the half-written files gone.
void onStopSignal(int) {
    if (g_signalCount.fetch_add(1) > 0)
        ExitCleanup::killChildrenRemoveFilesAndExit(kExitSomeFailed);
    g_interrupted = true;
}

} // namespace

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

void installInterruptHandler() {
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : {SIGINT, SIGTERM, SIGHUP})
        ::sigaction(signal, &action, nullptr);
}

bool takeInterrupt() {
    return g_interrupted.exchange(false);
}

} // namespace glintwork::cli
