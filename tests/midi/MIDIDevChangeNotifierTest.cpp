// Device-change notification: debounced broadcasts and the polling fallback.
#include "support/MidiManagerFixture.h"

#include "base/BClock.h"
#include "base/TMessageWindowThread.h"
#include "midi/MIDIDevChangeNotifier.h"

#include <chrono>
#include <thread>

using MIDIDevChangeNotifierTest = MidiManagerFixture;

TEST_F(MIDIDevChangeNotifierTest, BroadcastBurstGivesOneUpdateAboutASecondAfterTheLast)
{
    MIDIDevChangeNotifier* notifier = manager->getNotifier();
    ASSERT_NE(notifier, nullptr);
    ASSERT_TRUE(notifier->isStarted()) << "the message window service should be available";
    ASSERT_FALSE(notifier->isPollMode());

    CountingListListener listener;
    manager->addDeviceListListener(&listener);
    const int firedBefore = notifier->firedCount();

    std::uint32_t last = 0;
    for (int i = 0; i < 10; ++i)
    {
        if (i > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        ASSERT_TRUE(TMessageWindowThread::notifyDeviceListChanged());
        last = BClock::now();
    }
    const bool updated = listener.waitFor(1, 5000);
    // Long enough for a wrongly armed second update to show.
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    manager->removeDeviceListListener(&listener);

    ASSERT_TRUE(updated);
    EXPECT_EQ(listener.count(), 1);
    EXPECT_EQ(notifier->firedCount() - firedBefore, 1);
    const std::vector<std::uint32_t> when = listener.when();
    EXPECT_GE(static_cast<std::int32_t>(when[0] - last), 900) << "the update waits a second after the last broadcast";
}

TEST_F(MIDIDevChangeNotifierTest, WithoutMessageWindowItPollsAndNoticesCountChanges)
{
    MIDIDevChangeNotifier poller(*manager, false, 1000, 200);
    EXPECT_FALSE(poller.startNotifier());
    EXPECT_TRUE(poller.isPollMode());
    EXPECT_FALSE(poller.isStarted());

    manager->updateDevices(true, true);
    factory.addPort(true, name("Hot plugged"));
    EXPECT_TRUE(waitUntil([&] { return manager->findDeviceByName(name("Hot plugged"), true) >= 0; }, 5000))
        << "a poll notices the changed count";
    EXPECT_TRUE(waitUntil([&] { return poller.firedCount() >= 3; }, 5000)) << "polling is periodic";
}
