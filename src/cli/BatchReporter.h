#pragma once

#include <functional>

#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QTimer>

#include "batch/ImageItem.h"

namespace glintwork::cli {

// JSON string text (without quotes) for a path in bytes: valid UTF-8 as it is, each byte
// that is not part of valid UTF-8 as \udc80 to \udcff (Python's "surrogateescape").
[[nodiscard]] QByteArray jsonPathText(const QByteArray& path);

// Prints one result line (or one JSON record) per file: results on standard output, errors,
// warnings, the summary and, on a terminal, a progress line rewritten in place on standard
// error. A record that cannot be written (a closed pipe, a full disk) is announced once by
// outputFailed(); nothing more goes to standard output after it.
class BatchReporter : public QObject {
    Q_OBJECT

public:
    struct Options {
        bool json = false;
        bool quiet = false;
        bool progressRecords = false; // --json --progress
        bool progressLine = false;    // a terminal that may show it
        bool resultLines = true;      // false while standard output carries the image
    };
    // How a path is shown: its bytes on disk, which may differ from the path used to reach it.
    using Display = std::function<QByteArray(const QString& path)>;

    BatchReporter(const ItemList& items, Options options, Display display,
                  QObject* parent = nullptr);

    // A record for an input that never became an item; it counts as failed.
    void reportProblem(const QString& path, const QString& message);
    // A record for an input left out on purpose; `output` is the taken name, when there is one.
    void reportSkipped(const QString& path, const QString& reason, const QString& output = {});
    // Finishes the progress line and prints the summary; call once the run is over.
    void finish();
    // Files that failed, were cancelled or completed with a warning.
    [[nodiscard]] int unsuccessful() const { return m_failed + m_cancelled + m_warned; }
    [[nodiscard]] bool outputBroken() const { return m_outputBroken; }

Q_SIGNALS:
    void outputFailed(int error);

private:
    void itemChanged(ImageItem* item);
    void itemProgressed(ImageItem* item);
    void report(const ImageItem& item);
    void writeRecord(const QList<QPair<const char*, QByteArray>>& fields);
    void writeOut(const QByteArray& line);
    void writeErr(const QByteArray& line);
    void clearProgress();
    void drawProgress();
    [[nodiscard]] std::optional<qint64> secondsLeft() const;
    [[nodiscard]] int doneCount() const;

    ItemList m_items;
    Options m_options;
    Display m_display;
    QSet<const ImageItem*> m_reported;
    QHash<const ImageItem*, qint64> m_lastProgressRecord;
    QElapsedTimer m_clock;
    qint64 m_lastFinished = 0; // when the last file finished, on m_clock
    QTimer m_ticker;
    int m_completed = 0;
    int m_failed = 0;
    int m_cancelled = 0;
    int m_warned = 0;
    int m_skipped = 0;
    bool m_progressShown = false;
    bool m_outputBroken = false;
};

} // namespace glintwork::cli
