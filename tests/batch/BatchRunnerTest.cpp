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

class TextError : public DescribedError {
public:
    explicit TextError(QString text) : m_text(std::move(text)) {}
    QString description() const override { return m_text; }

private:
    QString m_text;
};

ItemList makeItems(int count) {
    ItemList items;
    for (int i = 0; i < count; ++i)
        items.append(std::make_shared<ImageItem>(
            QUrl::fromLocalFile(QStringLiteral("/nowhere/%1.png").arg(i))));
    return items;
}

// Runs a batch whose jobs sleep a little and count how many run at once.
struct Harness {
    ItemList items;
    std::atomic<int> running{0};
    std::atomic<int> peak{0};
    QList<int> startedIndexes;
    std::function<void(ImageItem&)> onPrepare;
    std::function<void(int index)> inJob = [](int) {};

    BatchRunner::Hooks hooks() {
        return {[this]() -> const ItemList& { return items; },
                [this](ImageItem& item, int started) -> BatchRunner::Job {
                    startedIndexes.append(started);
                    if (onPrepare)
                        onPrepare(item);
                    const int index = item.url().fileName().section(QLatin1Char('.'), 0, 0).toInt();
                    return [this, index](CancellationToken& token) -> std::function<void()> {
                        const int now = ++running;
                        int seen = peak.load();
                        while (now > seen && !peak.compare_exchange_weak(seen, now)) {
                        }
                        for (int i = 0; i < 10; ++i) {
                            std::this_thread::sleep_for(std::chrono::milliseconds(3));
                            if (token.isCancelled())
                                break;
                        }
                        --running;
                        inJob(index);
                        return {};
                    };
                },
                {}};
    }
};

bool runToEnd(BatchRunner& runner, Harness& harness, int concurrency) {
    QSignalSpy done(&runner, &BatchRunner::finished);
    if (!runner.start(harness.hooks(), concurrency))
        return false;
    return done.count() > 0 || done.wait(10000);
}

TEST(BatchRunner, NeverRunsMoreThanTheCapAndFinishesEverything) {
    for (const int cap : {1, 3, 8}) {
        Harness harness;
        harness.items = makeItems(20);
        BatchRunner runner;
        ASSERT_TRUE(runToEnd(runner, harness, cap));
        EXPECT_LE(harness.peak.load(), cap);
        EXPECT_GE(harness.peak.load(), std::min(cap, 2)) << "jobs should overlap";
        for (const auto& item : harness.items)
            EXPECT_EQ(item->status(), ConversionStatus::completed());
        EXPECT_EQ(harness.startedIndexes.size(), 20);
        EXPECT_EQ(harness.startedIndexes.front(), 0);
        EXPECT_EQ(harness.startedIndexes.back(), 19);
    }
}

TEST(BatchRunner, FailureIsRecordedAndTheRunGoesOn) {
    Harness harness;
    harness.items = makeItems(4);
    harness.inJob = [](int index) {
        if (index == 1)
            throw TextError(QStringLiteral("Image decoding failed"));
    };
    BatchRunner runner;
    ASSERT_TRUE(runToEnd(runner, harness, 2));
    EXPECT_EQ(harness.items[1]->status(), ConversionStatus::error(QStringLiteral("Image decoding failed")));
    EXPECT_EQ(harness.items[1]->errorMessage(), QStringLiteral("Image decoding failed"));
    EXPECT_EQ(harness.items[3]->status(), ConversionStatus::completed());
}

TEST(BatchRunner, ItemsAddedDuringTheRunArePickedUp) {
    Harness harness;
    harness.items = makeItems(2);
    bool added = false;
    harness.onPrepare = [&](ImageItem&) {
        if (!added) {
            added = true;
            harness.items.append(makeItems(3).last());
        }
    };
    BatchRunner runner;
    ASSERT_TRUE(runToEnd(runner, harness, 1));
    ASSERT_EQ(harness.items.size(), 3);
    EXPECT_EQ(harness.items[2]->status(), ConversionStatus::completed());
}

TEST(BatchRunner, CancelStopsTheWalkAndMarksTheRestCancelled) {
    Harness harness;
    harness.items = makeItems(10);
    BatchRunner runner;
    QSignalSpy done(&runner, &BatchRunner::finished);
    harness.onPrepare = [&](ImageItem&) {
        if (harness.startedIndexes.size() == 3)
            QMetaObject::invokeMethod(&runner, [&] { runner.cancel(); }, Qt::QueuedConnection);
    };
    ASSERT_TRUE(runner.start(harness.hooks(), 2));
    ASSERT_TRUE(done.count() > 0 || done.wait(10000));
    EXPECT_TRUE(done.first().first().toBool());
    int cancelled = 0;
    for (const auto& item : harness.items) {
        EXPECT_FALSE(item->status().is(ConversionStatus::Kind::waiting));
        EXPECT_FALSE(item->status().is(ConversionStatus::Kind::processing));
        cancelled += item->status().is(ConversionStatus::Kind::cancelled);
    }
    EXPECT_GE(cancelled, 6);
    EXPECT_LE(harness.startedIndexes.size(), 4);

    // The next run redoes exactly the cancelled items, numbering them from 0 again.
    harness.startedIndexes.clear();
    harness.onPrepare = {};
    QSignalSpy again(&runner, &BatchRunner::finished);
    ASSERT_TRUE(runner.start(harness.hooks(), 2));
    ASSERT_TRUE(again.count() > 0 || again.wait(10000));
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
    ASSERT_TRUE(runToEnd(runner, harness, 1));
    // The pool thread lets go of the job's closure just after the run reports its end.
    for (int i = 0; i < 200 && !first.expired(); ++i)
        QThread::msleep(5);
    EXPECT_TRUE(first.expired()) << "released once its job has ended";
}

} // namespace
} // namespace glintwork
