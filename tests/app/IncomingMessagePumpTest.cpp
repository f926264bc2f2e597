// The worker that takes incoming messages off the MIDI driver's thread.
#include "app/protocol/IncomingMessagePump.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <vector>

TEST(IncomingMessagePump, AWorkerThatFallsBehindLosesWhatDoesNotFitAndSaysSoOnce)
{
    std::mutex lock;
    std::condition_variable changed;
    bool holding = false;
    bool released = false;
    std::vector<int> handled;
    std::vector<std::uint64_t> reports;
    IncomingMessagePump pump(
        [&](const std::uint8_t* data, int) {
            std::unique_lock<std::mutex> guard(lock);
            handled.push_back(data[1]);
            if (handled.size() == 1)
            {
                holding = true;   // the worker is stuck in the first message, as behind a slow disk
                changed.notify_all();
                changed.wait(guard, [&] { return released; });
            }
        },
        [&](std::uint64_t lost) { reports.push_back(lost); });

    const auto push = [&](int value) {
        const std::uint8_t message[2] = {0xC0, static_cast<std::uint8_t>(value & 0x7F)};
        return pump.push(message, 2);
    };
    ASSERT_TRUE(push(0));
    {
        std::unique_lock<std::mutex> guard(lock);
        changed.wait(guard, [&] { return holding; });
    }
    // The message in hand keeps its slot until it is handled.
    int taken = 1;
    while (taken < IncomingMessagePump::kCapacity && push(taken))
        ++taken;
    const bool lostWhenFull = ! push(1) && ! push(2);
    {
        const std::lock_guard<std::mutex> guard(lock);
        released = true;
    }
    changed.notify_all();
    EXPECT_EQ(taken, IncomingMessagePump::kCapacity);
    EXPECT_TRUE(lostWhenFull);
    pump.drain();
    EXPECT_TRUE(push(3)) << "room again";
    pump.drain();

    const std::lock_guard<std::mutex> guard(lock);
    ASSERT_EQ(handled.size(), static_cast<std::size_t>(IncomingMessagePump::kCapacity) + 1);
    for (int i = 0; i < IncomingMessagePump::kCapacity; ++i)
        ASSERT_EQ(handled[static_cast<std::size_t>(i)], i & 0x7F) << "in arrival order";
    EXPECT_EQ(reports, std::vector<std::uint64_t>{2}) << "the loss is reported once, with its count";
}

TEST(IncomingMessagePump, StopHandlesWhatWasQueuedFirst)
{
    std::vector<std::uint8_t> handled;
    {
        IncomingMessagePump pump([&](const std::uint8_t* data, int length) { handled.insert(handled.end(), data, data + length); },
                                 nullptr);
        const std::uint8_t clock[1] = {0xF8};
        for (int i = 0; i < 100; ++i)
            pump.push(clock, 1);
        pump.stop();
        EXPECT_EQ(handled.size(), 100u);
        pump.drain();   // returns at once after stop
    }
    EXPECT_EQ(handled.size(), 100u);
}
