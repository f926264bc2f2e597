// The hot-plug storm against a real JACK server: two other clients play the keyboard whose
// output port is the program's "MIDI Input" and the synthesizer whose input port is its
// "MIDI Thru"; both ports are unregistered and registered again over and over while numbered
// traffic flows. Whatever the keyboard sent while both ports were present and bound must reach
// the synthesizer through the program's thru, in order and byte for byte, and after every
// replug both aliases must be bound to the returning ports with their devices open.
//
// Rescans are driven by the test, each one after the server announced the change (which lifts
// the backend's rescan limit), so the run does not wait for the notifier's debounce; the
// notifier may still run its own passes meanwhile.
#include "midi/jack/JackCompanion.h"
#include "support/HotPlugStorm.h"
#include "support/JackManagerFixture.h"

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace
{
// A cycle costs some ten round trips to the server (ports of both companions and ours, their
// connections), about 40 ms on two busy cores: the full storm takes 35 to 45 s. LUMO_HOTPLUG_CYCLES
// sets another count.
constexpr int kDefaultCycles = 1000;
constexpr int kPerPhase = 16;
constexpr int kPerEpoch = 8;
constexpr int kMaxSysEx = 1500;
// The input hands a longer SysEx event on in pieces of this size, and thru sends them as they come.
constexpr std::size_t kInputPieceSize = 1024;

class JackHotPlugStorm : public JackManagerFixture
{
protected:
    bool boundAndOpen(const std::string& port, bool isInput)
    {
        return lumo_test::boundAndOpen(*manager, BString(port.c_str()), isInput);
    }
    bool closed(const std::string& port, bool isInput)
    {
        return lumo_test::goneAndClosed(*manager, BString(port.c_str()), isInput);
    }

    // The bytes of every event the port received so far.
    static std::vector<lumo_test::Bytes> receivedBy(const JackCompanion& companion, const std::string& port)
    {
        std::vector<lumo_test::Bytes> bytes;
        for (JackCompanion::Event& event : companion.received(port))
            bytes.push_back(std::move(event.bytes));
        return bytes;
    }

    // Counts messages that the port got more than once: within one process cycle, which only
    // two of our ports feeding thru at once can cause, or in a later cycle, which a client that
    // missed a cycle of an overloaded server also causes (its port buffer is read again).
    struct Repeats
    {
        int inOneCycle = 0;
        int inLaterCycle = 0;
    };
    static Repeats repeatsIn(const std::vector<JackCompanion::Event>& events)
    {
        std::vector<const JackCompanion::Event*> tagged;
        for (const JackCompanion::Event& event : events)
            if (!event.bytes.empty() && event.bytes[0] >= 0x80 && event.bytes[0] != 0xF7)
                tagged.push_back(&event);
        std::stable_sort(tagged.begin(), tagged.end(),
                         [](const JackCompanion::Event* a, const JackCompanion::Event* b) { return a->bytes < b->bytes; });
        Repeats repeats;
        for (std::size_t i = 1; i < tagged.size(); ++i)
            if (tagged[i]->bytes == tagged[i - 1]->bytes)
                ++(tagged[i]->cycleStart == tagged[i - 1]->cycleStart ? repeats.inOneCycle : repeats.inLaterCycle);
        return repeats;
    }

    // Rescans until done holds: again after each further announcement of the server, at most
    // for timeoutMs.
    bool rescanUntil(const std::function<bool()>& done, long long timeoutMs = 15000)
    {
        const lumo_test::Stopwatch watch;
        for (;;)
        {
            const int seen = factory->getObserver().changesSeen();
            manager->updateDevices(true, true);
            if (done())
                return true;
            if (watch.elapsedMs() > timeoutMs)
                return false;
            lumo_test::waitFor([&] { return factory->getObserver().changesSeen() != seen; }, 2000);
        }
    }
};
} // namespace

TEST_F(JackHotPlugStorm, ThruLosesNothingSentWhileBoundThroughUnplugsAndReplugsOfBothPorts)
{
    const int cycles = lumo_test::hotPlugCycles(kDefaultCycles);
    ASSERT_NO_FATAL_FAILURE(startKeyboardAndSynth());

    // Wired as the main panel wires it at start: aliases, their devices opened, the thru route.
    route(source, destination);
    manager->openInput(lumo_test::panelAlias(true)->deviceIndex.load());
    manager->openOutput(lumo_test::panelAlias(false)->deviceIndex.load());
    ASSERT_TRUE(rescanUntil([&] { return boundAndOpen(source, true) && boundAndOpen(destination, false); }));

    lumo_test::StormTraffic traffic([&](const lumo_test::Bytes& message) { return keyboard->send("out", message); },
                                    kPerPhase, kMaxSysEx);
    traffic.start();

    const lumo_test::Stopwatch watch;
    std::size_t checked = 0;
    int repeatedLater = 0;
    for (int cycle = 0; cycle <= cycles; ++cycle)
    {
        traffic.setPresent(true);
        ASSERT_TRUE(traffic.waitForSentInEpoch(kPerEpoch, 20000)) << "cycle " << cycle;
        traffic.setPresent(false);

        // What the keyboard sent in the epoch must have arrived before a port may go (a port
        // that goes takes the companion's records with it).
        const std::vector<lumo_test::Bytes> epoch =
            lumo_test::inPieces(traffic.expectedSince(checked), kInputPieceSize);
        checked += traffic.expectedSince(checked).size();
        ASSERT_TRUE(lumo_test::waitFor([&] { return bool(lumo_test::receivedInOrder(epoch, receivedBy(*synth, "in"))); },
                                       10000))
            << "cycle " << cycle << ": " << lumo_test::receivedInOrder(epoch, receivedBy(*synth, "in")).message();
        // Until the port goes, its records hold everything the synthesizer got since it came.
        const Repeats repeats = repeatsIn(synth->received("in"));
        ASSERT_EQ(repeats.inOneCycle, 0) << "cycle " << cycle << ": messages arrived twice in one process cycle";
        repeatedLater += repeats.inLaterCycle;
        if (cycle == cycles)
            break;

        ASSERT_TRUE(keyboard->removePort("out"));
        ASSERT_TRUE(synth->removePort("in"));
        ASSERT_TRUE(rescanUntil([&] { return closed(source, true) && closed(destination, false); })) << "cycle " << cycle;
        traffic.nextPhase();

        ASSERT_TRUE(synth->addPort("in", false));
        ASSERT_TRUE(keyboard->addPort("out", true));
        ASSERT_TRUE(rescanUntil([&] { return boundAndOpen(source, true) && boundAndOpen(destination, false); }))
            << "cycle " << cycle;
    }
    traffic.stop();
    const long long stormMs = watch.elapsedMs();

    EXPECT_TRUE(boundAndOpen(source, true));
    EXPECT_TRUE(boundAndOpen(destination, false));
    EXPECT_EQ(traffic.refusedWhilePresent(), 0);
    EXPECT_EQ(traffic.epochs(), cycles + 1);
    EXPECT_EQ(checked, traffic.expectedCount());
    std::printf("[measure] %d replug cycles of both JACK ports in %lld ms; %u messages sent, %zu while bound; %d "
                "received again in a later cycle\n",
                cycles, stormMs, traffic.sentCount(), traffic.expectedCount(), repeatedLater);
}
