// The recursive lock, the auto-reset event and the library clock.
#include "base/BClock.h"
#include "base/BEvent.h"
#include "base/BLock.h"
#include "support/WaitFor.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>

using lumo_test::Stopwatch;
using lumo_test::waitFor;

TEST(BLock, OwnerMayTakeItAgainAndOthersWaitUntilEveryLevelIsReleased)
{
    BLock lock;
    std::atomic<bool> otherGotIt{false};
    lock.lock();
    lock.lock(); // recursive: must not deadlock

    std::thread other([&] {
        BLockGuard guard(lock);
        otherGotIt = true;
    });
    lock.unlock();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(otherGotIt.load()) << "one level is still held";
    lock.unlock();
    EXPECT_TRUE(waitFor([&] { return otherGotIt.load(); }));
    other.join();
}

TEST(BLock, GuardReleasesOnException)
{
    BLock lock;
    try
    {
        BLockGuard guard(lock);
        throw std::runtime_error("leave the scope early");
    }
    catch (const std::runtime_error&)
    {
    }
    std::atomic<bool> acquired{false};
    std::thread other([&] {
        BLockGuard guard(lock);
        acquired = true;
    });
    other.join();
    EXPECT_TRUE(acquired.load());
}

TEST(BLock, GuardsACounterAgainstConcurrentIncrements)
{
    BLock lock;
    int counter = 0;
    auto work = [&] {
        for (int i = 0; i < 20000; ++i)
        {
            BLockGuard outer(lock);
            BLockGuard inner(lock);
            ++counter;
        }
    };
    std::thread a(work);
    std::thread b(work);
    a.join();
    b.join();
    EXPECT_EQ(counter, 40000);
}

TEST(BEvent, SignalGivenBeforeTheWaitIsKeptAndConsumedOnce)
{
    BEvent event;
    event.signal();
    EXPECT_TRUE(event.wait(0));
    EXPECT_FALSE(event.wait(0)) << "auto-reset: the first wait consumed the signal";
}

TEST(BEvent, WaitTimesOutWithoutSignal)
{
    BEvent event;
    const Stopwatch watch;
    EXPECT_FALSE(event.wait(100));
    EXPECT_GE(watch.elapsedMs(), 95);
    EXPECT_LT(watch.elapsedMs(), 3000);
}

TEST(BEvent, OneSignalWakesOnlyOneOfTwoWaiters)
{
    BEvent event;
    std::atomic<int> woken{0};
    auto waiter = [&] {
        if (event.wait(600))
            ++woken;
    };
    std::thread a(waiter);
    std::thread b(waiter);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    event.signal();
    a.join();
    b.join();
    EXPECT_EQ(woken.load(), 1);
}

TEST(BEvent, InfiniteWaitReturnsWhenSignalledFromAnotherThread)
{
    BEvent event;
    std::atomic<bool> returned{false};
    std::thread waiter([&] {
        event.wait();
        returned = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(returned.load());
    event.signal();
    waiter.join();
    EXPECT_TRUE(returned.load());
}

TEST(BClock, AdvancesInMillisecondsAndNeverGoesBack)
{
    const std::uint32_t first = BClock::now();
    std::uint32_t previous = first;
    for (int i = 0; i < 1000; ++i)
    {
        const std::uint32_t reading = BClock::now();
        ASSERT_FALSE(BClock::isBefore(reading, previous));
        previous = reading;
    }
    const Stopwatch watch;
    const std::uint32_t before = BClock::now();
    std::this_thread::sleep_for(std::chrono::milliseconds(120));
    const std::uint32_t advanced = BClock::now() - before;
    EXPECT_GE(advanced, 115u);
    EXPECT_LE(advanced, static_cast<std::uint32_t>(watch.elapsedMs() + 5));
}

TEST(BClock, OrderingSurvivesTheWrapAround)
{
    EXPECT_TRUE(BClock::isBefore(0xFFFFFFF0u, 0x00000010u));
    EXPECT_FALSE(BClock::isBefore(0x00000010u, 0xFFFFFFF0u));
    EXPECT_TRUE(BClock::isBefore(100u, 101u));
    EXPECT_FALSE(BClock::isBefore(101u, 101u));
}
