#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include <QTest>

#include "platform/CancellationToken.h"

namespace glintwork {
namespace {

using namespace std::chrono_literals;

// A kept registration runs exactly once however often cancel() is called; dropped, reset
// and replaced ones never. Callbacks run outside the lock: one may read the token, register
// another (which runs at once, on the caller) or drop its own registration without a
// deadlock.
TEST(CancellationToken, EachKeptCallbackRunsOnceOutsideTheLockAndOthersNever) {
    CancellationToken token;
    EXPECT_NO_THROW(token.check());
    int kept = 0, dropped = 0;
    std::thread::id nestedRanOn;
    CancellationToken::Registration nested, self;
    auto outer = token.registerCallback([&] {
        kept += token.isCancelled();
        nested = token.registerCallback([&] { nestedRanOn = std::this_thread::get_id(); });
    });
    self = token.registerCallback([&] {
        self.reset();
        ++kept;
    });
    (void)token.registerCallback([&] { ++dropped; });
    auto reset = token.registerCallback([&] { ++dropped; });
    reset.reset();
    auto replaced = token.registerCallback([&] { ++dropped; });
    replaced = token.registerCallback([&] { ++kept; });
    CancellationToken::Registration moved(std::move(replaced));
    token.cancel();
    token.cancel();
    EXPECT_EQ(kept, 3);
    EXPECT_EQ(dropped, 0);
    EXPECT_EQ(nestedRanOn, std::this_thread::get_id());
    EXPECT_THROW(token.check(), CancelledError);
}

TEST(CancellationToken, UnregisteringWaitsForACallbackRunningElsewhere) {
    auto token = std::make_shared<CancellationToken>();
    std::atomic<bool> started = false, finished = false;
    auto registration = token->registerCallback([&] {
        started = true;
        std::this_thread::sleep_for(200ms);
        finished = true;
    });
    std::thread canceller([token] { token->cancel(); });
    EXPECT_TRUE(QTest::qWaitFor([&] { return started.load(); }, 10000)) << "the callback never ran";
    registration.reset();
    // Whatever the callback captured may be destroyed from here on.
    EXPECT_TRUE(finished);
    canceller.join();
}

TEST(CancellationToken, RacingRegistrationsAndCancelRunEachCallbackAtMostOnce) {
    constexpr int threads = 8, perThread = 200;
    for (int round = 0; round < 20; ++round) {
        auto token = std::make_shared<CancellationToken>();
        std::vector<std::atomic<int>> counts(threads * perThread);
        std::vector<std::vector<CancellationToken::Registration>> kept(threads);
        std::vector<std::thread> workers;
        for (int t = 0; t < threads; ++t)
            workers.emplace_back([&, t] {
                for (int i = 0; i < perThread; ++i) {
                    auto& count = counts[std::size_t(t * perThread + i)];
                    auto registration = token->registerCallback([&count] { ++count; });
                    // Odd ones are dropped again straight away, racing with cancel().
                    if (i % 2 == 0)
                        kept[std::size_t(t)].push_back(std::move(registration));
                }
            });
        token->cancel();
        for (auto& worker : workers)
            worker.join();
        for (std::size_t i = 0; i < counts.size(); ++i)
            ASSERT_TRUE(counts[i] == 1 || (i % 2 == 1 && counts[i] == 0)) << "registration " << i;
    }
}

} // namespace
} // namespace glintwork
