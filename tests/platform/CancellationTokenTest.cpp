#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

#include "platform/CancellationToken.h"

namespace glintwork {
namespace {

using namespace std::chrono_literals;

TEST(CancellationToken, CheckThrowsOnlyOnceCancelled) {
    CancellationToken token;
    EXPECT_FALSE(token.isCancelled());
    EXPECT_NO_THROW(token.check());
    token.cancel();
    EXPECT_TRUE(token.isCancelled());
    EXPECT_THROW(token.check(), CancelledError);
}

TEST(CancellationToken, EveryCallbackRunsExactlyOnce) {
    CancellationToken token;
    std::vector<int> calls(3, 0);
    std::vector<CancellationToken::Registration> registrations;
    for (int& count : calls)
        registrations.push_back(token.registerCallback([&count] { ++count; }));
    token.cancel();
    token.cancel();
    EXPECT_EQ(calls, (std::vector<int>{1, 1, 1}));
}

TEST(CancellationToken, CallbackRegisteredAfterCancellationRunsAtOnceOnTheCaller) {
    CancellationToken token;
    token.cancel();
    std::optional<std::thread::id> ranOn;
    auto registration = token.registerCallback([&] { ranOn = std::this_thread::get_id(); });
    EXPECT_EQ(ranOn, std::this_thread::get_id());
}

TEST(CancellationToken, UnregisteredCallbackNeverRuns) {
    CancellationToken token;
    int dropped = 0;
    int reset = 0;
    int replaced = 0;
    int kept = 0;
    {
        auto registration = token.registerCallback([&] { ++dropped; });
    }
    auto resetOne = token.registerCallback([&] { ++reset; });
    resetOne.reset();
    auto slot = token.registerCallback([&] { ++replaced; });
    slot = token.registerCallback([&] { ++kept; });
    // Moving keeps the callback registered.
    CancellationToken::Registration moved(std::move(slot));
    token.cancel();
    EXPECT_EQ(dropped, 0);
    EXPECT_EQ(reset, 0);
    EXPECT_EQ(replaced, 0);
    EXPECT_EQ(kept, 1);
}

TEST(CancellationToken, CallbacksRunOutsideTheLock) {
    // Each of these would deadlock if cancel() held its lock while calling out.
    CancellationToken token;
    bool nestedRan = false;
    bool sawCancelled = false;
    bool selfRan = false;
    CancellationToken::Registration nested;
    CancellationToken::Registration self;
    auto outer = token.registerCallback([&] {
        sawCancelled = token.isCancelled();
        nested = token.registerCallback([&] { nestedRan = true; });
    });
    // Dropping its own registration while running must not wait for itself.
    self = token.registerCallback([&] {
        self.reset();
        selfRan = true;
    });
    token.cancel();
    EXPECT_TRUE(sawCancelled);
    EXPECT_TRUE(nestedRan);
    EXPECT_TRUE(selfRan);
}

TEST(CancellationToken, UnregisteringWaitsForACallbackRunningElsewhere) {
    auto token = std::make_shared<CancellationToken>();
    std::atomic<bool> started = false;
    std::atomic<bool> finished = false;
    auto registration = token->registerCallback([&] {
        started = true;
        std::this_thread::sleep_for(200ms);
        finished = true;
    });
    std::thread canceller([token] { token->cancel(); });
    while (!started)
        std::this_thread::yield();
    registration.reset();
    // Whatever the callback captured may be destroyed from here on.
    EXPECT_TRUE(finished);
    canceller.join();
}

TEST(CancellationToken, RacingRegistrationsAndCancelRunEachCallbackAtMostOnce) {
    constexpr int threads = 8;
    constexpr int perThread = 200;
    for (int round = 0; round < 20; ++round) {
        auto token = std::make_shared<CancellationToken>();
        std::vector<std::atomic<int>> counts(threads * perThread);
        std::vector<std::vector<CancellationToken::Registration>> kept(threads);
        std::vector<std::thread> workers;
        for (int t = 0; t < threads; ++t) {
            workers.emplace_back([&, t] {
                for (int i = 0; i < perThread; ++i) {
                    auto& count = counts[std::size_t(t * perThread + i)];
                    auto registration = token->registerCallback([&count] { ++count; });
                    // Odd ones are dropped again straight away, racing with cancel().
                    if (i % 2 == 0)
                        kept[std::size_t(t)].push_back(std::move(registration));
                }
            });
        }
        token->cancel();
        for (auto& worker : workers)
            worker.join();
        for (int t = 0; t < threads; ++t) {
            for (int i = 0; i < perThread; ++i) {
                const int count = counts[std::size_t(t * perThread + i)];
                if (i % 2 == 0)
                    ASSERT_EQ(count, 1) << "kept registration " << t << "/" << i;
                else
                    ASSERT_LE(count, 1) << "dropped registration " << t << "/" << i;
            }
        }
    }
}

} // namespace
} // namespace glintwork
