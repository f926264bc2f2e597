// The guard that the real-time tests rely on counts what a flagged thread does, and only that.
#include "support/RealtimeGuard.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <mutex>
#include <thread>

TEST(RealtimeGuard, CountsAllocationsLocksAndSleepsOfFlaggedThreadsOnly)
{
    if (!lumo_test::RealtimeGuard::available())
        GTEST_SKIP() << "sanitizer builds own the functions the guard counts";
    std::mutex mutex;
    const auto work = [&] {
        auto value = std::make_unique<int>(1);
        const std::lock_guard<std::mutex> guard(mutex);
        std::this_thread::sleep_for(std::chrono::microseconds(1));
    };
    lumo_test::RealtimeGuard::reset();
    work();
    std::thread(work).join();
    EXPECT_TRUE(lumo_test::RealtimeGuard::counts().clean()) << lumo_test::RealtimeGuard::counts();
    std::thread([&] {
        const lumo_test::RealtimeGuard::Scope realtime;
        work();
    }).join();
    const auto counts = lumo_test::RealtimeGuard::counts();
    EXPECT_EQ(counts.allocations, 1u) << counts;
    EXPECT_EQ(counts.frees, 1u) << counts;
    EXPECT_EQ(counts.locks, 1u) << counts;
    EXPECT_EQ(counts.sleeps, 1u) << counts;
}
