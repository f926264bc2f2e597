// The JACK backend under the MIDI manager: thru within one process cycle, ports that come and
// go, and a server that is missing, killed and restarted.
#include "midi/MidiManager.h"
#include "midi/TMidiAlias.h"
#include "midi/MIDIDevChangeNotifier.h"
#include "midi/TMidiAliasManager.h"
#include "midi/TMidiRouter.h"
#include "midi/jack/JackCompanion.h"
#include "midi/jack/JackMidiFactory.h"
#include "support/JackManagerFixture.h"
#include "support/JackServerProcess.h"
#include "support/MidiTestListeners.h"
#include "support/WaitFor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

namespace
{
using JackManager = JackManagerFixture;

std::vector<unsigned char> sysEx(std::size_t length)
{
    std::vector<unsigned char> bytes(length, 0x55);
    bytes.front() = 0xF0;
    bytes.back() = 0xF7;
    return bytes;
}
} // namespace

TEST_F(JackManager, ThruArrivesByteExactInTheSameProcessCycleAsTheInput)
{
    ASSERT_NO_FATAL_FAILURE(startKeyboardAndSynth());
    ASSERT_NO_FATAL_FAILURE(openThru(source, destination));

    const std::vector<std::vector<unsigned char>> messages = {{0x90, 60, 100}, {0xC0, 3}, sysEx(700), {0x80, 60, 0}};
    for (const auto& message : messages)
        ASSERT_TRUE(keyboard->send("out", message));
    ASSERT_TRUE(lumo_test::waitFor([&] { return synth->receivedCount("in") >= messages.size(); }, 10000));

    const auto sent = keyboard->sent("out");
    const auto received = synth->received("in");
    ASSERT_EQ(received.size(), messages.size());
    for (std::size_t i = 0; i < messages.size(); ++i)
    {
        EXPECT_EQ(received[i].bytes, messages[i]) << "message " << i;
        EXPECT_EQ(received[i].cycleStart, sent[i].cycleStart) << "message " << i;
        EXPECT_EQ(received[i].frame, sent[i].frame) << "message " << i;
    }
}

TEST_F(JackManager, ReplugReopensTheDeviceUnderItsAliasAndLosesNothingWhilePlugged)
{
    ASSERT_NO_FATAL_FAILURE(startKeyboardAndSynth());
    ASSERT_NO_FATAL_FAILURE(openThru(source, destination));
    const int in = thruInput;

    const int rounds = 100;
    std::size_t expected = 0;
    for (int round = 0; round < rounds; ++round)
    {
        // Traffic while plugged: every message must come through.
        for (int i = 0; i < 5; ++i)
            ASSERT_TRUE(keyboard->send("out", {0x90, static_cast<unsigned char>(round & 0x7F), static_cast<unsigned char>(i)}));
        expected += 5;
        ASSERT_TRUE(lumo_test::waitFor([&] { return synth->receivedCount("in") >= expected; }, 10000))
            << "round " << round;

        // Unplug: the server announces it, an update closes the device and keeps it pending.
        const int seen = factory->getObserver().changesSeen();
        ASSERT_TRUE(keyboard->removePort("out"));
        ASSERT_TRUE(lumo_test::waitFor([&] { return factory->getObserver().changesSeen() > seen; }, 5000));
        manager->updateDevices(true, true);
        ASSERT_TRUE(lumo_test::waitFor([&] { return !isOpen(in, true); }, 5000)) << "round " << round;

        // Plug in again under the same name: the same record reopens.
        const int seenAgain = factory->getObserver().changesSeen();
        ASSERT_TRUE(keyboard->addPort("out", true));
        ASSERT_TRUE(lumo_test::waitFor([&] { return factory->getObserver().changesSeen() > seenAgain; }, 5000));
        manager->updateDevices(true, true);
        ASSERT_TRUE(lumo_test::waitFor([&] { return isOpen(in, true); }, 5000)) << "round " << round;
        EXPECT_EQ(manager->findDeviceByName(BString(source.c_str()), true), in);
        TMidiAlias* alias = TMidiAliasManager::getInstance()->getAlias(BString("MIDI Input"), TMidiAlias::kInput, false, -1);
        ASSERT_NE(alias, nullptr);
        EXPECT_EQ(std::string(alias->deviceName().CStr()), source);
    }
    const auto received = synth->received("in");
    EXPECT_EQ(received.size(), expected);
}

TEST_F(JackManager, ReplugIsNoticedThroughTheDeviceChangeServiceAlone)
{
    ASSERT_TRUE(server.start());
    keyboard = JackCompanion::open("keyboard");
    ASSERT_TRUE(keyboard);
    ASSERT_TRUE(keyboard->addPort("out", true));
    const int in = waitForDevice(keyboard->fullName("out"), true);
    ASSERT_GE(in, 0);
    manager->openInput(in);
    ASSERT_TRUE(isOpen(in, true));
    for (int round = 0; round < 3; ++round)
    {
        ASSERT_TRUE(keyboard->removePort("out"));
        ASSERT_TRUE(lumo_test::waitFor([&] { return !isOpen(in, true); }, 15000)) << "round " << round;
        ASSERT_TRUE(keyboard->addPort("out", true));
        ASSERT_TRUE(lumo_test::waitFor([&] { return isOpen(in, true); }, 15000)) << "round " << round;
    }
}

TEST_F(JackManager, ServerStartedLaterBringsTheDevices)
{
    // No server yet: no devices, no errors.
    manager->updateDevices(true, true);
    EXPECT_EQ(factory->deviceCount(true), 0);
    ASSERT_TRUE(server.start());
    keyboard = JackCompanion::open("keyboard");
    ASSERT_TRUE(keyboard);
    ASSERT_TRUE(keyboard->addPort("out", true));
    EXPECT_GE(waitForDevice(keyboard->fullName("out"), true, 30000), 0);
    EXPECT_TRUE(control.texts("error").empty());
}

TEST_F(JackManager, KilledServerLeavesTheProgramRunningAndARestartReopens)
{
    ASSERT_TRUE(server.start());
    keyboard = JackCompanion::open("keyboard");
    ASSERT_TRUE(keyboard);
    ASSERT_TRUE(keyboard->addPort("out", true));
    source = keyboard->fullName("out");
    const int in = waitForDevice(source, true);
    ASSERT_GE(in, 0);
    manager->openInput(in);
    ASSERT_TRUE(isOpen(in, true));

    server.stop();
    keyboard.reset();
    ASSERT_TRUE(lumo_test::waitFor([&] { return !isOpen(in, true); }, 20000));
    EXPECT_LE(control.texts("error").size(), 1u);

    ASSERT_TRUE(server.start());
    keyboard = JackCompanion::open("keyboard");
    ASSERT_TRUE(keyboard);
    ASSERT_TRUE(keyboard->addPort("out", true));
    ASSERT_EQ(keyboard->fullName("out"), source);
    EXPECT_TRUE(lumo_test::waitFor([&] { return isOpen(in, true); }, 30000));
    EXPECT_LE(control.texts("error").size(), 1u);
}

TEST_F(JackManager, ThruKeepsUpWithTenThousandMessagesASecondWithoutDrops)
{
    // LUMO_JACK_FLOOD_SECONDS lengthens the run for measurements; the default keeps the suite quick.
    const char* configured = std::getenv("LUMO_JACK_FLOOD_SECONDS");
    const int seconds = configured != nullptr ? std::max(1, std::atoi(configured)) : 2;
    ASSERT_NO_FATAL_FAILURE(startKeyboardAndSynth());
    ASSERT_TRUE(keyboard->addPort("direct", true));
    ASSERT_TRUE(synth->addPort("direct", false));
    ASSERT_TRUE(keyboard->connect(keyboard->fullName("direct"), synth->fullName("direct")));
    ASSERT_NO_FATAL_FAILURE(openThru(source, destination));
    const JackSession::Stats before = factory->getSession().stats();

    const std::size_t total = static_cast<std::size_t>(seconds) * 10000;
    const auto start = std::chrono::steady_clock::now();
    for (std::size_t sent = 0; sent < total;)
    {
        // Keep to 10 messages per millisecond of wall time.
        const auto due = static_cast<std::size_t>(
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count() * 10);
        for (; sent < std::min(due, total); ++sent)
        {
            const std::vector<unsigned char> message = {0x90, static_cast<unsigned char>(sent & 0x7F),
                                                        static_cast<unsigned char>((sent >> 7) & 0x7F)};
            ASSERT_TRUE(keyboard->send("out", message));
            if (sent % 1000 == 0)
            {
                ASSERT_TRUE(keyboard->send("direct", message));
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_TRUE(lumo_test::waitFor([&] { return synth->receivedCount("in") >= total; }, 30000));
    const JackSession::Stats after = factory->getSession().stats();
    EXPECT_EQ(synth->receivedCount("in"), total);
    EXPECT_EQ(after.drops, before.drops);

    // Latency in frames, through the program and over the direct connection.
    const auto sent = keyboard->sent("out");
    const auto received = synth->received("in");
    std::int64_t worst = 0;
    for (std::size_t i = 0; i < std::min(sent.size(), received.size()); ++i)
        worst = std::max<std::int64_t>(worst, static_cast<std::int64_t>(received[i].frame - sent[i].frame));
    const auto directSent = keyboard->sent("direct");
    const auto directReceived = synth->received("direct");
    std::int64_t directWorst = 0;
    for (std::size_t i = 0; i < std::min(directSent.size(), directReceived.size()); ++i)
        directWorst =
            std::max<std::int64_t>(directWorst, static_cast<std::int64_t>(directReceived[i].frame - directSent[i].frame));
    const double messages = static_cast<double>(after.eventsIn - before.eventsIn);
    const double nsPerCycle = static_cast<double>(after.processNanoseconds - before.processNanoseconds) /
                              static_cast<double>(std::max<std::uint64_t>(1, after.cycles - before.cycles));
    std::printf("[measure] %zu messages in %d s; drops %llu; latency through the program %lld frames, direct %lld "
                "frames; process callback %.0f ns per cycle, %.0f ns per message\n",
                total, seconds, static_cast<unsigned long long>(after.drops - before.drops),
                static_cast<long long>(worst), static_cast<long long>(directWorst), nsPerCycle,
                static_cast<double>(after.processNanoseconds - before.processNanoseconds) / std::max(1.0, messages));
    EXPECT_LE(worst, 256) << "thru takes at most one period";
}
