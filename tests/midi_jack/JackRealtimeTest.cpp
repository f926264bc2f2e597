// JACK's process thread delivers our input and, through the manager, sends its thru copy: none
// of it may allocate, free, lock or sleep (RealtimeGuard counts what that thread does).
#include "midi/jack/JackCompanion.h"
#include "support/JackManagerFixture.h"
#include "support/RealtimeGuard.h"
#include "support/RealtimeThruProbe.h"

#include <gtest/gtest.h>

namespace
{
using JackRealtime = JackManagerFixture;
} // namespace

TEST_F(JackRealtime, ThruToAJackOutputNeitherAllocatesNorLocksOnTheProcessThread)
{
    if (!lumo_test::RealtimeGuard::available())
        GTEST_SKIP() << "sanitizer builds own the functions the guard counts";
    ASSERT_NO_FATAL_FAILURE(startKeyboardAndSynth());
    lumo_test::RealtimeThruProbe probe;
    manager->setDataListener(&probe);
    ASSERT_NO_FATAL_FAILURE(openThru(source, destination));

    std::vector<unsigned char> sysEx(3000, 0x21);
    sysEx.front() = 0xF0;
    sysEx.back() = 0xF7;
    const std::vector<std::vector<unsigned char>> messages = {{0x90, 60, 100}, {0xC0, 3}, sysEx, {0x80, 60, 0}};
    // A first round flags the process thread; the second is the one counted.
    for (int round = 0; round < 2; ++round)
    {
        lumo_test::RealtimeGuard::reset();
        synth->clearRecords();
        for (const auto& message : messages)
            ASSERT_TRUE(keyboard->send("out", message));
        ASSERT_TRUE(lumo_test::waitFor([&] { return synth->receivedCount("in") >= messages.size() + 2; }, 10000))
            << synth->receivedCount("in");
    }
    EXPECT_GT(probe.callCount(), 0);
    const auto counts = lumo_test::RealtimeGuard::counts();
    EXPECT_TRUE(counts.clean()) << counts;
    manager->closeInput(thruInput, true);
}
