// The message window thread on every platform: one shared thread for all windows, stopped with
// the last one and started afresh afterwards, device-change delivery to every window, and no
// listener call after destroyWindow has returned.
#include "base/TMessageWindowThread.h"
#include "support/RecordingWindowListener.h"
#include "support/WaitFor.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

using lumo_test::RecordingWindowListener;
using lumo_test::waitFor;

namespace
{
// Every test leaves no window behind; this makes sure a failed one does not spoil the next.
class MessageWindowThreadTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(waitFor([] { return !TMessageWindowThread::isThreadRunning(); })); }
};

TEST_F(MessageWindowThreadTest, TwoWindowsShareOneThreadUntilTheLastIsDestroyed)
{
    RecordingWindowListener first;
    RecordingWindowListener second;
    const int startedBefore = TMessageWindowThread::threadsStarted();

    TWindowHandle a = TMessageWindowThread::createWindow(&first, BString("first"));
    TWindowHandle b = TMessageWindowThread::createWindow(&second, BString("second"));
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_NE(a, b);
    EXPECT_EQ(TMessageWindowThread::threadsStarted(), startedBefore + 1);

    // windowCreated ran for each, on one thread that is not the caller's.
    ASSERT_EQ(first.created().size(), 1u);
    EXPECT_EQ(first.created()[0], a);
    ASSERT_EQ(second.created().size(), 1u);
    EXPECT_EQ(second.created()[0], b);
    EXPECT_EQ(first.creationThread(), second.creationThread());
    EXPECT_NE(first.creationThread(), std::this_thread::get_id());

    TMessageWindowThread::destroyWindow(a);
    EXPECT_TRUE(TMessageWindowThread::isThreadRunning());
    // The remaining window still hears device changes.
    ASSERT_TRUE(TMessageWindowThread::notifyDeviceListChanged());
    EXPECT_TRUE(second.waitForCount(kWmDeviceChange, 1));
    EXPECT_EQ(first.count(kWmDeviceChange), 0);

    TMessageWindowThread::destroyWindow(b);
    EXPECT_FALSE(TMessageWindowThread::isThreadRunning());
    EXPECT_FALSE(TMessageWindowThread::notifyDeviceListChanged());
}

TEST_F(MessageWindowThreadTest, CreateAfterTheThreadStoppedStartsAFreshThread)
{
    RecordingWindowListener listener;
    TWindowHandle a = TMessageWindowThread::createWindow(&listener, BString("one"));
    ASSERT_NE(a, nullptr);
    TMessageWindowThread::destroyWindow(a);
    ASSERT_FALSE(TMessageWindowThread::isThreadRunning());

    const int startedBefore = TMessageWindowThread::threadsStarted();
    RecordingWindowListener later;
    TWindowHandle b = TMessageWindowThread::createWindow(&later, BString("two"));
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(TMessageWindowThread::threadsStarted(), startedBefore + 1);
    EXPECT_TRUE(TMessageWindowThread::isThreadRunning());
    ASSERT_TRUE(TMessageWindowThread::notifyDeviceListChanged());
    EXPECT_TRUE(later.waitForCount(kWmDeviceChange, 1));
    // The old window is gone for good: its listener hears nothing from the new thread.
    EXPECT_EQ(listener.count(kWmDeviceChange), 0);
    TMessageWindowThread::destroyWindow(b);
}

TEST_F(MessageWindowThreadTest, DeviceChangeReachesEveryWindowOnTheMessageThread)
{
    RecordingWindowListener one;
    RecordingWindowListener two;
    TWindowHandle a = TMessageWindowThread::createWindow(&one, BString("one"));
    TWindowHandle b = TMessageWindowThread::createWindow(&two, BString("two"));
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);

    std::thread poster([] { TMessageWindowThread::notifyDeviceListChanged(); });
    poster.join();
    ASSERT_TRUE(one.waitForCount(kWmDeviceChange, 1));
    ASSERT_TRUE(two.waitForCount(kWmDeviceChange, 1));
    const auto call = one.callsOf(kWmDeviceChange).front();
    EXPECT_EQ(call.window, a);
    EXPECT_EQ(call.wParam, kDeviceNodesChanged);
    EXPECT_EQ(call.lParam, 0);
    EXPECT_EQ(call.thread, one.creationThread());
    EXPECT_EQ(two.callsOf(kWmDeviceChange).front().window, b);

    TMessageWindowThread::destroyWindow(a);
    TMessageWindowThread::destroyWindow(b);
}

TEST_F(MessageWindowThreadTest, NoWindowMeansNoNotificationAndNullDestroyIsHarmless)
{
    EXPECT_FALSE(TMessageWindowThread::notifyDeviceListChanged());
    TMessageWindowThread::destroyWindow(nullptr);
    EXPECT_FALSE(TMessageWindowThread::isThreadRunning());
}

// The device-change notifier deletes itself right after destroyWindow; a late call would reach
// freed memory.
TEST_F(MessageWindowThreadTest, NoListenerCallArrivesAfterDestroyWindowReturned)
{
    RecordingWindowListener keeper;
    TWindowHandle keep = TMessageWindowThread::createWindow(&keeper, BString("keeper"));
    ASSERT_NE(keep, nullptr);

    for (int round = 0; round < 5; ++round)
    {
        RecordingWindowListener doomed;
        std::atomic<bool> gone {false};
        std::atomic<int> lateCalls {0};
        doomed.setHook([&](TWindowHandle, unsigned int) {
            if (gone.load())
                ++lateCalls;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        });
        TWindowHandle w = TMessageWindowThread::createWindow(&doomed, BString("doomed"));
        ASSERT_NE(w, nullptr);

        std::atomic<bool> stopPosting {false};
        std::thread poster([&] {
            while (!stopPosting.load())
            {
                TMessageWindowThread::notifyDeviceListChanged();
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        });
        ASSERT_TRUE(doomed.waitForCount(kWmDeviceChange, 3));
        TMessageWindowThread::destroyWindow(w);
        gone = true;
        const int countAtDestroy = doomed.count(kWmDeviceChange);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        stopPosting = true;
        poster.join();
        EXPECT_EQ(lateCalls.load(), 0);
        EXPECT_EQ(doomed.count(kWmDeviceChange), countAtDestroy);
        EXPECT_TRUE(TMessageWindowThread::isThreadRunning());
    }
    TMessageWindowThread::destroyWindow(keep);
    EXPECT_FALSE(TMessageWindowThread::isThreadRunning());
}

TEST_F(MessageWindowThreadTest, ListenerMayDestroyItsOwnWindowAndTheEmptiedThreadEnds)
{
    RecordingWindowListener self;
    TWindowHandle w = TMessageWindowThread::createWindow(&self, BString("self"));
    ASSERT_NE(w, nullptr);
    self.setHook([](TWindowHandle window, unsigned int message) {
        if (message == kWmDeviceChange)
            TMessageWindowThread::destroyWindow(window);
    });
    ASSERT_TRUE(TMessageWindowThread::notifyDeviceListChanged());
    ASSERT_TRUE(self.waitForCount(kWmDeviceChange, 1));
    EXPECT_TRUE(waitFor([] { return !TMessageWindowThread::isThreadRunning(); }));

    // The ended thread is replaced by a fresh one on the next request.
    const int startedBefore = TMessageWindowThread::threadsStarted();
    RecordingWindowListener next;
    TWindowHandle again = TMessageWindowThread::createWindow(&next, BString("next"));
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(TMessageWindowThread::threadsStarted(), startedBefore + 1);
    ASSERT_TRUE(TMessageWindowThread::notifyDeviceListChanged());
    EXPECT_TRUE(next.waitForCount(kWmDeviceChange, 1));
    EXPECT_EQ(self.count(kWmDeviceChange), 1);
    TMessageWindowThread::destroyWindow(again);
}

TEST_F(MessageWindowThreadTest, ConcurrentCreateAndDestroyFromSeveralThreads)
{
    constexpr int kThreads = 4;
    constexpr int kRounds = 10;
    std::atomic<int> nullWindows {0};
    std::atomic<int> delivered {0};
    std::vector<std::thread> workers;
    for (int t = 0; t < kThreads; ++t)
    {
        workers.emplace_back([&] {
            for (int round = 0; round < kRounds; ++round)
            {
                RecordingWindowListener listener;
                TWindowHandle w = TMessageWindowThread::createWindow(&listener, BString("worker"));
                if (w == nullptr)
                {
                    ++nullWindows;
                    continue;
                }
                TMessageWindowThread::notifyDeviceListChanged();
                if (listener.waitForCount(kWmDeviceChange, 1, 10000))
                    ++delivered;
                TMessageWindowThread::destroyWindow(w);
            }
        });
    }
    for (std::thread& worker : workers)
        worker.join();
    EXPECT_EQ(nullWindows.load(), 0);
    EXPECT_EQ(delivered.load(), kThreads * kRounds);
    EXPECT_TRUE(waitFor([] { return !TMessageWindowThread::isThreadRunning(); }));
}
} // namespace
