#pragma once

#include <cstdio>

#include <QObject>
#include <QSet>

#include "batch/FileService.h"
#include "batch/ImageItem.h"

namespace glintwork::cli {

// Prints one line (or one JSON object) per finished file and, on a terminal, a progress
// line on standard error that is rewritten in place.
class BatchReporter : public QObject {
    Q_OBJECT

public:
    BatchReporter(const ItemList& items, bool json, bool quiet, QObject* parent = nullptr);

    // A record for an input that never became an item; it counts as failed.
    void reportProblem(const IntakeProblem& problem);
    // Finishes the progress line; call once the run is over.
    void finish();
    [[nodiscard]] int failedOrCancelled() const { return m_failed; }

private:
    void itemChanged(ImageItem* item);
    void report(const ImageItem& item);
    void clearProgress();
    void drawProgress();

    ItemList m_items;
    QSet<const ImageItem*> m_reported;
    bool m_json;
    bool m_quiet;
    bool m_progress;
    int m_failed = 0;
    bool m_progressShown = false;
};

} // namespace glintwork::cli
