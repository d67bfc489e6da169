#include "cli/BatchReporter.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>

#include <QFileInfo>

#include "batch/FileService.h"

namespace glintwork::cli {

namespace {

using namespace Qt::StringLiterals;

bool isFinal(const ConversionStatus& status) {
    return status.is(ConversionStatus::Kind::completed) ||
           status.is(ConversionStatus::Kind::error) || status.is(ConversionStatus::Kind::cancelled);
}

// The length of the valid UTF-8 sequence at `p`, or 0 when it is not one.
int utf8Length(const uchar* p, qsizetype available) {
    const uchar lead = p[0];
    if (lead < 0x80)
        return 1;
    int length = 0;
    uchar low = 0x80;
    uchar high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0)
            low = 0xA0;
        else if (lead == 0xED)
            high = 0x9F; // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0)
            low = 0x90;
        else if (lead == 0xF4)
            high = 0x8F;
    } else {
        return 0;
    }
    if (available < length || p[1] < low || p[1] > high)
        return 0;
    for (int i = 2; i < length; ++i) {
        if (p[i] < 0x80 || p[i] > 0xBF)
            return 0;
    }
    return length;
}

QByteArray jsonString(const QByteArray& text) {
    return '"' + jsonPathText(text) + '"';
}

QByteArray jsonText(const QString& text) {
    return jsonString(text.toUtf8());
}

const QByteArray kNull = QByteArrayLiteral("null");

} // namespace

QByteArray jsonPathText(const QByteArray& path) {
    QByteArray out;
    const auto* bytes = reinterpret_cast<const uchar*>(path.constData());
    for (qsizetype i = 0; i < path.size();) {
        const uchar c = bytes[i];
        const int length = utf8Length(bytes + i, path.size() - i);
        if (length == 0) {
            out += "\\udc" + QByteArray::number(c, 16).rightJustified(2, '0');
            ++i;
        } else if (c == '"' || c == '\\') {
            out += '\\';
            out += char(c);
            ++i;
        } else if (c < 0x20) {
            out += "\\u00" + QByteArray::number(c, 16).rightJustified(2, '0');
            ++i;
        } else {
            out.append(path.constData() + i, length);
            i += length;
        }
    }
    return out;
}

BatchReporter::BatchReporter(const ItemList& items, Options options, Display display,
                             QObject* parent)
    : QObject(parent), m_items(items), m_options(options), m_display(std::move(display)) {
    m_clock.start();
    for (const auto& item : m_items) {
        ImageItem* raw = item.get();
        connect(raw, &ImageItem::statusChanged, this, [this, raw] { itemChanged(raw); });
        connect(raw, &ImageItem::progressChanged, this, [this, raw] { itemProgressed(raw); });
    }
    if (m_options.progressLine) {
        // The time left counts down between files too.
        connect(&m_ticker, &QTimer::timeout, this, &BatchReporter::drawProgress);
        m_ticker.start(1000);
        drawProgress();
    }
}

void BatchReporter::writeOut(const QByteArray& line) {
    if (m_outputBroken)
        return;
    clearProgress();
    errno = 0;
    const bool written = std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()),
                                     stdout) == static_cast<size_t>(line.size()) &&
                         std::fputc('\n', stdout) != EOF && std::fflush(stdout) == 0;
    if (!written) {
        m_outputBroken = true;
        Q_EMIT outputFailed(errno);
    }
}

void BatchReporter::writeErr(const QByteArray& line) {
    clearProgress();
    std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stderr);
    std::fputc('\n', stderr);
    std::fflush(stderr);
}

void BatchReporter::writeRecord(const QList<QPair<const char*, QByteArray>>& fields) {
    QByteArray line = "{";
    for (const auto& [name, value] : fields) {
        if (line.size() > 1)
            line += ',';
        line += '"' + QByteArray(name) + "\":" + value;
    }
    writeOut(line + '}');
}

void BatchReporter::itemChanged(ImageItem* item) {
    if (isFinal(item->status()) && !m_reported.contains(item)) {
        m_reported.insert(item);
        m_lastFinished = m_clock.elapsed();
        report(*item);
    } else if (item->status().is(ConversionStatus::Kind::processing)) {
        itemProgressed(item);
    }
    drawProgress();
}

void BatchReporter::itemProgressed(ImageItem* item) {
    if (m_options.progressRecords && item->status().is(ConversionStatus::Kind::processing)) {
        const auto last = m_lastProgressRecord.constFind(item);
        if (last == m_lastProgressRecord.cend() || m_clock.elapsed() - *last >= 1000) {
            m_lastProgressRecord.insert(item, m_clock.elapsed());
            const auto left = secondsLeft();
            writeRecord({{"input", jsonString(m_display(item->url().toLocalFile()))},
                         {"status", "\"progress\""},
                         {"progress", QByteArray::number(item->progress(), 'f', 3)},
                         {"filesDone", QByteArray::number(doneCount())},
                         {"filesTotal", QByteArray::number(m_items.size())},
                         {"secondsLeft", left ? QByteArray::number(*left) : kNull}});
        }
    }
    drawProgress();
}

void BatchReporter::reportProblem(const QString& path, const QString& message) {
    ++m_failed;
    const QByteArray input = m_display(path);
    if (m_options.json) {
        writeRecord({{"input", jsonString(input)},
                     {"output", kNull},
                     {"status", "\"error\""},
                     {"error", jsonText(message)},
                     {"warning", kNull},
                     {"originalSize", kNull},
                     {"outputSize", kNull},
                     {"pixelWidth", kNull},
                     {"pixelHeight", kNull}});
    } else {
        writeErr(input + ": error: " + message.toUtf8());
    }
    drawProgress();
}

void BatchReporter::reportSkipped(const QString& path, const QString& reason,
                                  const QString& output) {
    ++m_skipped;
    const QByteArray input = m_display(path);
    if (m_options.json) {
        writeRecord({{"input", jsonString(input)},
                     {"output", output.isEmpty() ? kNull : jsonString(m_display(output))},
                     {"status", "\"skipped\""},
                     {"error", kNull},
                     {"warning", kNull},
                     {"reason", jsonText(reason)},
                     {"originalSize", QByteArray::number(QFileInfo(path).size())},
                     {"outputSize", kNull},
                     {"pixelWidth", kNull},
                     {"pixelHeight", kNull}});
    } else if (!m_options.quiet && m_options.resultLines) {
        writeOut(input + ": skipped: " + reason.toUtf8());
    }
}

void BatchReporter::report(const ImageItem& item) {
    const ConversionStatus& status = item.status();
    const bool ok = status.is(ConversionStatus::Kind::completed);
    // A completed item with a message finished its main output, but a second one (a
    // separate mask) failed.
    const std::optional<QString> warning = ok ? item.errorMessage() : std::nullopt;
    if (!ok)
        ++(status.is(ConversionStatus::Kind::cancelled) ? m_cancelled : m_failed);
    else if (warning)
        ++m_warned;
    else
        ++m_completed;
    const QByteArray input = m_display(item.url().toLocalFile());
    const QString outputPath = item.outputURL() ? item.outputURL()->toLocalFile() : QString();
    const qint64 outputSize = item.compressedSize().value_or(QFileInfo(outputPath).size());
    if (m_options.json) {
        writeRecord(
            {{"input", jsonString(input)},
             {"output", item.outputURL() ? jsonString(m_display(outputPath)) : kNull},
             {"status", jsonText(status.debugText().section(u'(', 0, 0))},
             {"error",
              status.is(ConversionStatus::Kind::error) ? jsonText(status.errorMessage()) : kNull},
             {"warning", warning ? jsonText(*warning) : kNull},
             {"originalSize", QByteArray::number(item.originalSize())},
             {"outputSize", ok && item.outputURL() ? QByteArray::number(outputSize) : kNull},
             {"pixelWidth", QByteArray::number(item.pixelWidth())},
             {"pixelHeight", QByteArray::number(item.pixelHeight())}});
        return;
    }
    if (ok) {
        if (warning)
            writeErr(input + ": warning: " + warning->toUtf8());
        if (m_options.quiet || !m_options.resultLines)
            return;
        QString sizes = FileService::formatByteCount(item.originalSize()) + u" -> "_s +
                        FileService::formatByteCount(outputSize);
        if (const auto percent = compressionPercentText(item.originalSize(), outputSize))
            sizes += u", "_s + *percent;
        writeOut(input + " -> " + m_display(outputPath) + " (" + sizes.toUtf8() + ')');
    } else if (status.is(ConversionStatus::Kind::error)) {
        writeErr(input + ": error: " + status.errorMessage().toUtf8());
    } else {
        writeErr(input + ": cancelled");
    }
}

int BatchReporter::doneCount() const {
    return static_cast<int>(std::count_if(
        m_items.begin(), m_items.end(), [](const auto& item) { return isFinal(item->status()); }));
}

std::optional<qint64> BatchReporter::secondsLeft() const {
    int finished = 0;
    double partial = 0;
    for (const auto& item : m_items) {
        if (isFinal(item->status()))
            ++finished;
        else if (item->status().is(ConversionStatus::Kind::processing))
            partial += item->progress();
    }
    const double elapsed = m_clock.elapsed() / 1000.0;
    const double remaining = m_items.size() - finished - partial;
    // Too early to tell: nothing measurable yet, or too little time gone by.
    if (elapsed < 2 || m_items.isEmpty() || finished + partial < 0.01)
        return std::nullopt;
    double left = elapsed * remaining / (finished + partial);
    // Files that tell no progress of their own (compress): by the average file so far, less
    // what the current ones have had already.
    if (partial == 0 && finished > 0)
        left = std::max(0.0, m_lastFinished / 1000.0 / finished * remaining -
                                 (elapsed - m_lastFinished / 1000.0));
    return static_cast<qint64>(std::llround(left));
}

void BatchReporter::clearProgress() {
    if (m_progressShown) {
        std::fputs("\r\033[K", stderr);
        m_progressShown = false;
    }
}

void BatchReporter::drawProgress() {
    if (!m_options.progressLine || m_items.isEmpty())
        return;
    QString line = u"\r\033[K%1/%2 files"_s.arg(doneCount()).arg(m_items.size());
    for (const auto& item : m_items) {
        if (item->status().is(ConversionStatus::Kind::processing)) {
            line += u", current file %1%"_s.arg(static_cast<int>(100.0 * item->progress()));
            break;
        }
    }
    if (const auto left = secondsLeft()) {
        line += *left >= 60 ? u", %1 min %2 s left"_s.arg(*left / 60).arg(*left % 60)
                            : u", %1 s left"_s.arg(*left);
    }
    const QByteArray bytes = line.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stderr);
    std::fflush(stderr);
    m_progressShown = true;
}

void BatchReporter::finish() {
    m_ticker.stop();
    clearProgress();
    if (!m_options.json && !m_options.quiet) {
        QStringList parts{u"%1 completed"_s.arg(m_completed)};
        if (m_warned)
            parts << u"%1 with a warning"_s.arg(m_warned);
        if (m_failed)
            parts << u"%1 failed"_s.arg(m_failed);
        if (m_cancelled)
            parts << u"%1 cancelled"_s.arg(m_cancelled);
        if (m_skipped)
            parts << u"%1 skipped"_s.arg(m_skipped);
        writeErr(parts.join(u", "_s).toUtf8());
    }
    std::fflush(stderr);
}

} // namespace glintwork::cli
