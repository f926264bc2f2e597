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
    ASSERT_TRUE(server.start());
    auto keyboard = JackCompanion::open("keyboard");
    auto synth = JackCompanion::open("synth");
    ASSERT_TRUE(keyboard && synth);
    ASSERT_TRUE(keyboard->addPort("out", true));
    ASSERT_TRUE(synth->addPort("in", false));
    ASSERT_GE(waitForDevice(keyboard->fullName("out"), true), 0);
    ASSERT_GE(waitForDevice(synth->fullName("in"), false), 0);
    lumo_test::RealtimeThruProbe probe;
    manager->setDataListener(&probe);
    route(keyboard->fullName("out"), synth->fullName("in"));
    const int in = manager->findDeviceByName(BString(keyboard->fullName("out").c_str()), true);
    const int out = manager->findDeviceByName(BString(synth->fullName("in").c_str()), false);
    manager->openInput(in);
    manager->openOutput(out);
    ASSERT_TRUE(lumo_test::waitFor([&] { return isOpen(in, true) && isOpen(out, false); }, 10000));

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
    manager->closeInput(in, true);
}
