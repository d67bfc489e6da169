#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include <QCoreApplication>
#include <QSignalSpy>
#include <QTest>
#include <QThreadPool>

#include "batch/BatchRunner.h"
#include "platform/CancellationToken.h"
#include "platform/Error.h"

namespace glintwork {
namespace {

using namespace Qt::Literals::StringLiterals;

std::shared_ptr<ImageItem> item(const QString& name) {
    return std::make_shared<ImageItem>(QUrl::fromLocalFile(u"/nowhere/"_s + name));
}

// Jobs sleep a little, watching their token, and count how many run at once; the one for
// "fails.png" throws.
struct Harness {
    ItemList items;
    std::atomic<int> running{0}, peak{0};
    QList<int> started;
    std::function<void()> onPrepare = [] {};

    explicit Harness(int count) {
        for (int i = 0; i < count; ++i)
            items.append(item(u"%1.png"_s.arg(i)));
    }
    BatchRunner::Hooks hooks() {
        return {[this]() -> const ItemList& { return items; },
                [this](ImageItem& item, int index) -> BatchRunner::Job {
                    started.append(index);
                    onPrepare();
                    const bool fails = item.url().fileName() == u"fails.png"_s;
                    return [this, fails](CancellationToken& token) -> std::function<void()> {
                        const int now = ++running;
                        for (int seen = peak;
                             now > seen && !peak.compare_exchange_weak(seen, now);) {
                        }
                        for (int i = 0; i < 10 && !token.isCancelled(); ++i)
                            std::this_thread::sleep_for(std::chrono::milliseconds(3));
                        --running;
                        if (fails)
                            throw Error(ErrorKind::imageUnreadable, u"Image decoding failed"_s);
                        return {};
                    };
                },
                {}};
    }
};

// A failure is recorded on its item and the run goes on; an item added during the run is
// picked up. (Cancelling and redoing are the drivers' test.)
TEST(BatchRunner, NeverRunsMoreThanTheCapAndFinishesEverything) {
    for (const int cap : {1, 3, 8}) {
        SCOPED_TRACE(cap);
        Harness harness(20);
        harness.items[1] = item(u"fails.png"_s);
        harness.onPrepare = [&] {
            if (harness.started.size() == 5)
                harness.items.append(item(u"added.png"_s));
        };
        BatchRunner runner;
        QSignalSpy done(&runner, &BatchRunner::finished);
        ASSERT_TRUE(runner.start(harness.hooks(), cap) && (done.count() > 0 || done.wait(10000)));
        EXPECT_LE(harness.peak.load(), cap);
        EXPECT_GE(harness.peak.load(), std::min(cap, 2)) << "jobs should overlap";
        EXPECT_EQ(harness.started.size(), 21);
        EXPECT_EQ(harness.started.back(), 20);
        EXPECT_EQ(harness.items[1]->status(), ConversionStatus::error(u"Image decoding failed"_s));
        EXPECT_EQ(harness.items[1]->errorMessage(), u"Image decoding failed"_s);
        harness.items.removeAt(1);
        for (const auto& item : harness.items)
            EXPECT_EQ(item->status(), ConversionStatus::completed());
        // With everything done, a run ends at once.
        harness.started.clear();
        ASSERT_TRUE(runner.start(harness.hooks(), cap));
        EXPECT_EQ(done.count(), 2);
        EXPECT_TRUE(harness.started.isEmpty());
    }
}

// The pool thread lets go of the job's closure just after the run reports its end.
TEST(BatchRunner, ASecondStartIsRefusedAndAClearedListKeepsRunningItemsAlive) {
    Harness harness(3);
    std::weak_ptr<ImageItem> first = harness.items.first();
    harness.onPrepare = [&] { harness.items.clear(); };
    BatchRunner runner;
    QSignalSpy done(&runner, &BatchRunner::finished);
    ASSERT_TRUE(runner.start(harness.hooks(), 1));
    EXPECT_FALSE(runner.start(harness.hooks(), 1)) << "a run is in progress";
    ASSERT_TRUE(done.wait(10000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return first.expired(); }, 10000))
        << "released once its job has ended";
}

// A runner destroyed on its thread just as a job ends: the job's outcome is never posted to
// the destroyed runner (which crashes when it is delivered, or at once in a sanitizer build).
// The destruction must fall between the job's last look at the runner and its post, so the
// race is run many times.
TEST(BatchRunner, ARunnerDestroyedAsItsJobEndsIsLeftAlone) {
    for (int round = 0; round < 200; ++round) {
        const auto ending = std::make_shared<std::atomic<bool>>(false);
        ItemList items{item(u"a.png"_s)};
        BatchRunner::Hooks hooks{[&]() -> const ItemList& { return items; },
                                 [ending](ImageItem&, int) -> BatchRunner::Job {
                                     return [ending](CancellationToken&) -> std::function<void()> {
                                         *ending = true;
                                         return {};
                                     };
                                 },
                                 {}};
        auto runner = std::make_unique<BatchRunner>();
        ASSERT_TRUE(runner->start(std::move(hooks), 1));
        while (!*ending) {
        }
        runner.reset();
        BatchRunner::threadPool()->waitForDone();
        QCoreApplication::sendPostedEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_EQ(items.first()->status(), ConversionStatus::processing()) << round;
    }
}

} // namespace
} // namespace glintwork
