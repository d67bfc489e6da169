#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include <QSignalSpy>
#include <QThread>

#include "batch/BatchRunner.h"
#include "platform/CancellationToken.h"
#include "platform/DescribedError.h"

namespace glintwork {
namespace {

struct TextError : DescribedError {
    QString description() const override { return QStringLiteral("Image decoding failed"); }
};

ItemList makeItems(int count) {
    ItemList items;
    for (int i = 0; i < count; ++i)
        items.append(std::make_shared<ImageItem>(
            QUrl::fromLocalFile(QStringLiteral("/nowhere/%1.png").arg(i))));
    return items;
}

// Jobs sleep a little, watching their token, and count how many run at once.
struct Harness {
    ItemList items;
    std::atomic<int> running{0}, peak{0};
    QList<int> startedIndexes;
    std::function<void(ImageItem&)> onPrepare = [](ImageItem&) {};
    int failing = -1; // the item whose job throws

    BatchRunner::Hooks hooks() {
        return {
            [this]() -> const ItemList& { return items; },
            [this](ImageItem& item, int started) -> BatchRunner::Job {
                startedIndexes.append(started);
                onPrepare(item);
                const bool fails = item.url().fileName() == QStringLiteral("%1.png").arg(failing);
                return [this, fails](CancellationToken& token) -> std::function<void()> {
                    const int now = ++running;
                    for (int seen = peak; now > seen && !peak.compare_exchange_weak(seen, now);) {
                    }
                    for (int i = 0; i < 10 && !token.isCancelled(); ++i)
                        std::this_thread::sleep_for(std::chrono::milliseconds(3));
                    --running;
                    if (fails)
                        throw TextError();
                    return {};
                };
            },
            {}};
    }
    bool runToEnd(BatchRunner& runner, int concurrency) {
        QSignalSpy done(&runner, &BatchRunner::finished);
        return runner.start(hooks(), concurrency) && (done.count() > 0 || done.wait(10000));
    }
};

// A failure is recorded on its item and the run goes on; items added during the run are
// picked up.
TEST(BatchRunner, NeverRunsMoreThanTheCapAndFinishesEverything) {
    for (const int cap : {1, 3, 8}) {
        SCOPED_TRACE(cap);
        Harness harness;
        harness.items = makeItems(20);
        harness.failing = 1;
        harness.onPrepare = [&](ImageItem&) {
            if (harness.items.size() == 20)
                harness.items.append(std::make_shared<ImageItem>(
                    QUrl::fromLocalFile(QStringLiteral("/nowhere/added.png"))));
        };
        BatchRunner runner;
        ASSERT_TRUE(harness.runToEnd(runner, cap));
        EXPECT_LE(harness.peak.load(), cap);
        EXPECT_GE(harness.peak.load(), std::min(cap, 2)) << "jobs should overlap";
        EXPECT_EQ(harness.startedIndexes.size(), 21);
        EXPECT_EQ(harness.startedIndexes.back(), 20);
        const QString failure = QStringLiteral("Image decoding failed");
        EXPECT_EQ(harness.items[1]->status(), ConversionStatus::error(failure));
        EXPECT_EQ(harness.items[1]->errorMessage(), failure);
        harness.items.removeAt(1);
        for (const auto& item : harness.items)
            EXPECT_EQ(item->status(), ConversionStatus::completed());
    }
}

TEST(BatchRunner, CancelStopsTheWalkMarksTheRestCancelledAndTheNextRunRedoesThem) {
    Harness harness;
    harness.items = makeItems(10);
    BatchRunner runner;
    QSignalSpy done(&runner, &BatchRunner::finished);
    harness.onPrepare = [&](ImageItem&) {
        if (harness.startedIndexes.size() == 3)
            QMetaObject::invokeMethod(
                &runner, [&] { runner.cancel(); }, Qt::QueuedConnection);
    };
    ASSERT_TRUE(runner.start(harness.hooks(), 2));
    ASSERT_TRUE(done.count() > 0 || done.wait(10000));
    EXPECT_TRUE(done.first().first().toBool());
    int cancelled = 0;
    for (const auto& item : harness.items) {
        EXPECT_FALSE(item->status().is(ConversionStatus::Kind::waiting) ||
                     item->status().is(ConversionStatus::Kind::processing));
        cancelled += item->status().is(ConversionStatus::Kind::cancelled);
    }
    EXPECT_GE(cancelled, 6);
    EXPECT_LE(harness.startedIndexes.size(), 4);

    // Numbered from 0 again.
    harness.startedIndexes.clear();
    harness.onPrepare = [](ImageItem&) {};
    QSignalSpy again(&runner, &BatchRunner::finished);
    ASSERT_TRUE(harness.runToEnd(runner, 2));
    EXPECT_FALSE(again.first().first().toBool());
    EXPECT_EQ(harness.startedIndexes.size(), cancelled);
    EXPECT_EQ(harness.startedIndexes.front(), 0);
    for (const auto& item : harness.items)
        EXPECT_EQ(item->status(), ConversionStatus::completed());
}

TEST(BatchRunner, AllCompletedFinishesAtOnceAndSecondStartIsRefused) {
    Harness harness;
    harness.items = makeItems(2);
    for (const auto& item : harness.items)
        item->setStatus(ConversionStatus::completed());
    BatchRunner runner;
    QSignalSpy done(&runner, &BatchRunner::finished);
    ASSERT_TRUE(runner.start(harness.hooks(), 4));
    EXPECT_EQ(done.count(), 1);
    EXPECT_TRUE(harness.startedIndexes.isEmpty());

    harness.items = makeItems(3);
    ASSERT_TRUE(runner.start(harness.hooks(), 1));
    EXPECT_FALSE(runner.start(harness.hooks(), 1)) << "a run is in progress";
    ASSERT_TRUE(done.wait(10000));
}

TEST(BatchRunner, ListClearedDuringRunKeepsRunningItemsAlive) {
    Harness harness;
    harness.items = makeItems(3);
    std::weak_ptr<ImageItem> first = harness.items.first();
    harness.onPrepare = [&](ImageItem&) { harness.items.clear(); };
    BatchRunner runner;
    ASSERT_TRUE(harness.runToEnd(runner, 1));
    // The pool thread lets go of the job's closure just after the run reports its end.
    for (int i = 0; i < 200 && !first.expired(); ++i)
        QThread::msleep(5);
    EXPECT_TRUE(first.expired()) << "released once its job has ended";
}

} // namespace
} // namespace glintwork
