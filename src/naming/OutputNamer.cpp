#include "naming/OutputNamer.h"

#include <algorithm>
#include <cstdio>
#include <limits>
#include <string>

#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

namespace glintwork::OutputNamer {

namespace {

std::optional<qint64> parseStartNumber(const QString& text) {
    qsizetype i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == QLatin1Char('+') || text[i] == QLatin1Char('-'))) {
        negative = text[i] == QLatin1Char('-');
        ++i;
    }
    if (i == text.size())
        return std::nullopt;
    // Accumulate as a negative number so that the minimum value parses too.
    qint64 value = 0;
    constexpr qint64 kMin = std::numeric_limits<qint64>::min();
    for (; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
        const int digit = c.unicode() - '0';
        if (value < (kMin + digit) / 10)
            return std::nullopt;
        value = value * 10 - digit;
    }
    if (!negative) {
        if (value == kMin)
            return std::nullopt;
        value = -value;
    }
    return value;
}

QString formatNumber(qint64 number, qsizetype width) {
    const std::string format = "%0" + std::to_string(width) + "lld";
    const int length = std::snprintf(nullptr, 0, format.c_str(), static_cast<long long>(number));
    std::string text(static_cast<size_t>(length) + 1, '\0');
    std::snprintf(text.data(), text.size(), format.c_str(), static_cast<long long>(number));
    text.resize(static_cast<size_t>(length));
    return QString::fromStdString(text);
}

bool isTaken(const QString& path) {
    const QFileInfo info(path);
    // A dangling symbolic link still occupies the name.
    return info.exists() || info.isSymLink();
}

QString extensionOf(const QString& fileName) {
    const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
    return dot > 0 ? fileName.mid(dot + 1) : QString();
}

} // namespace

qsizetype nameLimit(const QString& folder) {
    const long limit = ::pathconf(QFile::encodeName(folder).constData(), _PC_NAME_MAX);
    return limit > 0 ? qsizetype(limit) : 255;
}

QString fittedStem(const QString& stem, const QString& tail, qsizetype limit) {
    constexpr qsizetype kKeptEnd = 32;
    const auto bytes = [](const QString& name) { return QFile::encodeName(name).size(); };
    if (bytes(stem + tail) <= limit)
        return stem;
    QList<uint> points = stem.toUcs4();
    QString fitted = stem;
    while (bytes(fitted + tail) > limit && points.size() > 1) {
        points.removeAt(std::max<qsizetype>(0, points.size() - kKeptEnd - 1));
        fitted =
            QString::fromUcs4(reinterpret_cast<const char32_t*>(points.constData()), points.size());
    }
    return fitted;
}

QString stemOf(const QUrl& url) {
    const QString name = QFileInfo(url.toLocalFile()).fileName();
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot > 0 ? name.left(dot) : name;
}

QString computeBaseName(const QUrl& input, const NamingConfig& config, int index,
                        std::optional<int> scaleHint) {
    switch (config.mode) {
    case NamingMode::original:
        return stemOf(input);
    case NamingMode::suffix: {
        QString suffix = config.suffix;
        if (scaleHint)
            suffix.replace(QStringLiteral("{scale}"), QString::number(*scaleHint));
        return stemOf(input) + sanitizeNameComponent(suffix);
    }
    case NamingMode::custom: {
        const QString prefix = sanitizeNameComponent(config.prefix);
        const qint64 start =
            config.startNumber.isEmpty() ? 1 : parseStartNumber(config.startNumber).value_or(1);
        const qsizetype width = std::max<qsizetype>(config.startNumber.size(), 2);
        qint64 number = 0;
        // Saturate rather than wrap: a huge start number must never turn negative.
        if (__builtin_add_overflow(start, static_cast<qint64>(index), &number))
            number = std::numeric_limits<qint64>::max();
        const QString numberText = formatNumber(number, width);
        return prefix.isEmpty() ? numberText : prefix + QLatin1Char('-') + numberText;
    }
    }
    return stemOf(input);
}

QUrl ensureUnique(const QUrl& url, const QSet<QUrl>& additionalReserved) {
    const QString path = url.toLocalFile();
    if (!isTaken(path) && !additionalReserved.contains(url))
        return url;
    const QFileInfo info(path);
    const QString folder = info.path();
    const QString ext = extensionOf(info.fileName());
    const QString stem = stemOf(url);
    for (qint64 n = 1;; ++n) {
        QString name = stem + QLatin1Char('-') + QString::number(n);
        if (!ext.isEmpty())
            name += QLatin1Char('.') + ext;
        const QUrl candidate = QUrl::fromLocalFile(folder + QLatin1Char('/') + name);
        if (!isTaken(candidate.toLocalFile()) && !additionalReserved.contains(candidate))
            return candidate;
    }
}

QUrl unnumbered(const QUrl& url, const QSet<QUrl>& reserved) {
    static const QRegularExpression numbered(QStringLiteral("^(.+)-[1-9][0-9]*$"));
    const QRegularExpressionMatch match = numbered.match(stemOf(url));
    if (!match.hasMatch())
        return url;
    const QFileInfo info(url.toLocalFile());
    const QString ext = extensionOf(info.fileName());
    const QUrl origin = QUrl::fromLocalFile(info.path() + QLatin1Char('/') + match.captured(1) +
                                            (ext.isEmpty() ? QString() : QLatin1Char('.') + ext));
    return isTaken(origin.toLocalFile()) || reserved.contains(origin) ? origin : url;
}

QUrl outputURL(const QUrl& folder, const QString& baseName, const QString& extension) {
    QString path = folder.toLocalFile();
    if (!path.endsWith(QLatin1Char('/')))
        path += QLatin1Char('/');
    return QUrl::fromLocalFile(path + baseName + QLatin1Char('.') + extension);
}

QUrl outputFolder(const QUrl& input, const std::optional<QUrl>& sharedFolder) {
    if (sharedFolder)
        return *sharedFolder;
    return QUrl::fromLocalFile(QFileInfo(input.toLocalFile()).absolutePath());
}

} // namespace glintwork::OutputNamer
