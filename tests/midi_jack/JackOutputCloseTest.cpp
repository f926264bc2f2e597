// JACK reads an output port's buffer again in every cycle in which its owner did not clear it: an
// output closed while connected must not send its last cycle's events a second time.
#include "midi/jack/JackCompanion.h"
#include "midi/jack/JackSession.h"
#include "support/JackServerProcess.h"
#include "support/WaitFor.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

TEST(JackOutputClose, ClosingWhileSendingRepeatsNoEvent)
{
    // Short cycles: many of them pass while the close waits for the server.
    JackServerProcess server(64);
    ASSERT_TRUE(server.start());
    auto synth = JackCompanion::open("synth");
    ASSERT_NE(synth, nullptr);
    ASSERT_TRUE(synth->addPort("in", false));
    JackSession session("lumo-test", nullptr);
    ASSERT_TRUE(session.connect());

    for (int round = 0; round < 3; ++round)
    {
        const std::uint64_t token = session.openOutput(synth->fullName("in"));
        ASSERT_NE(token, 0u);
        synth->clearRecords();
        // Numbered notes, a few waiting at every cycle, so that the last cycle before the close
        // carries some.
        std::thread sender([&] {
            for (int n = 0; n < 1 << 14; ++n)
            {
                while (session.pending(token) >= 4)
                    std::this_thread::yield();
                const unsigned char note[3] = {0x90, static_cast<unsigned char>(n >> 7),
                                               static_cast<unsigned char>(n & 0x7F)};
                if (!session.send(token, note, 3))
                    return;
            }
        });
        ASSERT_TRUE(lumo_test::waitFor([&] { return synth->receivedCount("in") >= 200; }, 15000));
        session.close(token);
        sender.join();

        const auto received = synth->received("in");
        int last = -1;
        int repeats = 0;
        int broken = 0;
        for (const auto& event : received)
        {
            if (event.bytes.size() != 3 || event.bytes[0] != 0x90)
            {
                if (broken < 3)
                {
                    std::string shown;
                    for (unsigned char b : event.bytes)
                        shown += std::to_string(b) + " ";
                    ADD_FAILURE() << "event of " << event.bytes.size() << " bytes: " << shown << "at frame " << event.frame;
                }
                ++broken;
                continue;
            }
            const int n = event.bytes[1] << 7 | event.bytes[2];
            repeats += n <= last;
            last = std::max(last, n);
        }
        EXPECT_EQ(broken, 0) << "round " << round;
        EXPECT_EQ(repeats, 0) << "round " << round << ": " << received.size() << " events up to note " << last;
    }
}

TEST(JackOutputClose, ACompanionPortRemovedRightAfterItsEventsArrivedRepeatsNone)
{
    JackServerProcess server(64);
    ASSERT_TRUE(server.start());
    auto keyboard = JackCompanion::open("keyboard");
    auto synth = JackCompanion::open("synth");
    ASSERT_TRUE(keyboard && synth);
    ASSERT_TRUE(synth->addPort("in", false));
    // The removal follows the arrival within the same cycle or the next: the cycle that would
    // have cleared the buffer never comes for the removed port.
    for (int round = 0; round < 20; ++round)
    {
        ASSERT_TRUE(keyboard->addPort("out", true));
        ASSERT_TRUE(keyboard->connect(keyboard->fullName("out"), synth->fullName("in")));
        ASSERT_TRUE(lumo_test::waitFor([&] { return keyboard->connectionCount("out") > 0; }, 5000));
        ASSERT_TRUE(keyboard->waitForCycles(2, 2000));   // the connection is in the running graph
        synth->clearRecords();
        ASSERT_TRUE(keyboard->send("out", {0x90, 60, static_cast<unsigned char>(round)}));
        ASSERT_TRUE(lumo_test::waitFor([&] { return synth->receivedCount("in") >= 1; }, 5000)) << "round " << round;
        ASSERT_TRUE(keyboard->removePort("out"));
        ASSERT_TRUE(synth->waitForCycles(10, 2000));
        EXPECT_EQ(synth->receivedCount("in"), 1u) << "round " << round;
    }
}
