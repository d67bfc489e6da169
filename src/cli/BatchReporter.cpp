#include "cli/BatchReporter.h"

#include <unistd.h>

#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

#include "batch/FileService.h"

namespace glintwork::cli {

namespace {

bool isFinal(const ConversionStatus& status) {
    return status.is(ConversionStatus::Kind::completed) ||
           status.is(ConversionStatus::Kind::error) ||
           status.is(ConversionStatus::Kind::cancelled);
}

QString statusName(const ConversionStatus& status) {
    switch (status.kind()) {
    case ConversionStatus::Kind::waiting:
        return QStringLiteral("waiting");
    case ConversionStatus::Kind::processing:
        return QStringLiteral("processing");
    case ConversionStatus::Kind::completed:
        return QStringLiteral("completed");
    case ConversionStatus::Kind::cancelled:
        return QStringLiteral("cancelled");
    case ConversionStatus::Kind::error:
        return QStringLiteral("error");
    }
    return {};
}

void writeLine(std::FILE* stream, const QString& text) {
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stream);
    std::fputc('\n', stream);
    std::fflush(stream);
}

} // namespace

BatchReporter::BatchReporter(const ItemList& items, bool json, bool quiet, QObject* parent)
    : QObject(parent), m_items(items), m_json(json), m_quiet(quiet),
      m_progress(!quiet && ::isatty(STDERR_FILENO) == 1) {
    for (const auto& item : m_items) {
        ImageItem* raw = item.get();
        connect(raw, &ImageItem::statusChanged, this, [this, raw] { itemChanged(raw); });
        connect(raw, &ImageItem::progressChanged, this, [this] { drawProgress(); });
    }
    drawProgress();
}

void BatchReporter::itemChanged(ImageItem* item) {
    if (isFinal(item->status()) && !m_reported.contains(item)) {
        m_reported.insert(item);
        report(*item);
    }
    drawProgress();
}

void BatchReporter::clearProgress() {
    if (m_progressShown) {
        std::fputs("\r\033[K", stderr);
        m_progressShown = false;
    }
}

void BatchReporter::reportProblem(const IntakeProblem& problem) {
    ++m_failed;
    clearProgress();
    const QString input = problem.url.toLocalFile();
    if (m_json) {
        const QJsonObject object{
            {QStringLiteral("input"), input},
            {QStringLiteral("output"), QJsonValue()},
            {QStringLiteral("status"), QStringLiteral("error")},
            {QStringLiteral("error"), problem.message},
            {QStringLiteral("originalSize"), QJsonValue()},
            {QStringLiteral("outputSize"), QJsonValue()},
            {QStringLiteral("pixelWidth"), QJsonValue()},
            {QStringLiteral("pixelHeight"), QJsonValue()},
        };
        writeLine(stdout, QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact)));
    } else {
        writeLine(stdout, QStringLiteral("%1: error: %2").arg(input, problem.message));
    }
    drawProgress();
}

void BatchReporter::report(const ImageItem& item) {
    const ConversionStatus& status = item.status();
    const bool ok = status.is(ConversionStatus::Kind::completed);
    if (!ok)
        ++m_failed;
    clearProgress();
    const QString input = item.url().toLocalFile();
    if (m_json) {
        QJsonObject object{
            {QStringLiteral("input"), input},
            {QStringLiteral("output"),
             item.outputURL() ? QJsonValue(item.outputURL()->toLocalFile()) : QJsonValue()},
            {QStringLiteral("status"), statusName(status)},
            {QStringLiteral("error"),
             status.is(ConversionStatus::Kind::error) ? QJsonValue(status.errorMessage()) : QJsonValue()},
            {QStringLiteral("originalSize"), item.originalSize()},
            {QStringLiteral("outputSize"),
             item.compressedSize() ? QJsonValue(*item.compressedSize())
             : ok && item.outputURL() ? QJsonValue(QFileInfo(item.outputURL()->toLocalFile()).size())
                                      : QJsonValue()},
            {QStringLiteral("pixelWidth"), item.pixelWidth()},
            {QStringLiteral("pixelHeight"), item.pixelHeight()},
        };
        writeLine(stdout, QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact)));
        return;
    }
    if (ok) {
        if (m_quiet)
            return;
        const QString output = item.outputURL() ? item.outputURL()->toLocalFile() : QString();
        const qint64 outputSize = item.compressedSize().value_or(QFileInfo(output).size());
        QString sizes = FileService::formatByteCount(item.originalSize()) + QStringLiteral(" -> ") +
                        FileService::formatByteCount(outputSize);
        if (const auto percent = compressionPercentText(item.originalSize(), outputSize))
            sizes += QStringLiteral(", ") + *percent;
        writeLine(stdout, QStringLiteral("%1 -> %2 (%3)").arg(input, output, sizes));
    } else if (status.is(ConversionStatus::Kind::error)) {
        writeLine(stdout, QStringLiteral("%1: error: %2").arg(input, status.errorMessage()));
    } else {
        writeLine(stdout, QStringLiteral("%1: cancelled").arg(input));
    }
}

void BatchReporter::drawProgress() {
    if (!m_progress || m_items.isEmpty())
        return;
    int done = 0;
    double partial = 0;
    for (const auto& item : m_items) {
        if (isFinal(item->status()))
            ++done;
        else if (item->status().is(ConversionStatus::Kind::processing))
            partial += item->progress();
    }
    QString line = QStringLiteral("\r\033[K%1/%2 files").arg(done).arg(m_items.size());
    if (partial > 0)
        line += QStringLiteral(" (%1%)").arg(
            static_cast<int>(100.0 * (done + partial) / m_items.size()));
    const QByteArray bytes = line.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stderr);
    std::fflush(stderr);
    m_progressShown = true;
}

void BatchReporter::finish() {
    clearProgress();
    std::fflush(stderr);
}

} // namespace glintwork::cli
