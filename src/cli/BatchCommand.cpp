#include "cli/BatchCommand.h"

#include <cstdio>

#include <QFileInfo>

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

} // namespace glintwork::cli
