// The two Linux backends in one manager, as the program registers them: a JACK server and the
// ALSA sequencer both present (inside the test VM, with a private JACK server), their ports
// listed side by side, and thru from a sequencer port to a JACK port.
#include "midi/MidiManager.h"
#include "midi/MidiManagerDev.h"
#include "midi/TMidiAlias.h"
#include "midi/TMidiAliasManager.h"
#include "midi/TMidiRouter.h"
#include "midi/alsa/AlsaCompanion.h"
#include "midi/alsa/AlsaMidiFactory.h"
#include "midi/jack/JackCompanion.h"
#include "midi/jack/JackMidiFactory.h"
#include "support/JackServerProcess.h"
#include "support/RealtimeGuard.h"
#include "support/RealtimeThruProbe.h"
#include "support/WaitFor.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

TEST(BothLinuxBackends, ListSideBySideAndPassThruFromASequencerPortToAJackPort)
{
    if (access("/dev/snd/seq", F_OK) != 0)
        GTEST_SKIP() << "no ALSA sequencer here; scripts/vm/alsa-tests.sh runs these tests in the test VM";
    JackServerProcess server;
    ASSERT_TRUE(server.start());
    MidiManager* manager = MidiManager::getInstance();
    // Owned here: deleted (the ALSA one first) when the test ends, after the clients and before
    // the server, also when it fails.
    auto jack = std::make_unique<JackMidiFactory>("lumo-both", false);
    auto alsa = std::make_unique<AlsaMidiFactory>("lumo-both", false);
    manager->addFactory(jack.get());
    manager->addFactory(alsa.get());

    auto synth = JackCompanion::open("jack-synth");
    auto keys = AlsaCompanion::open("alsa-keys");
    ASSERT_TRUE(synth && keys);
    ASSERT_TRUE(synth->addPort("in", false));
    const int keysOut = keys->addPort("out", true);
    ASSERT_GE(keysOut, 0);

    const auto present = [&](const char* name, bool isInput) {
        const int index = manager->findDeviceByName(BString(name), isInput);
        return index >= 0 && manager->getDevice(index, isInput)->present.load() != 0 ? index : -1;
    };
    ASSERT_TRUE(lumo_test::waitFor(
        [&] {
            manager->updateDevices(true, true);
            return present("jack-synth:in", false) >= 0 && present("alsa-keys:out", true) >= 0 &&
                   present("Midi Through:Midi Through Port-0", false) >= 0;
        },
        20000));
    const int in = present("alsa-keys:out", true);
    const int out = present("jack-synth:in", false);
    EXPECT_EQ(manager->getInput(in)->getFactoryType(), AlsaMidiFactory::kTypeId);
    EXPECT_EQ(manager->getOutput(out)->getFactoryType(), JackMidiFactory::kTypeId);
    EXPECT_EQ(manager->getOutput(present("Midi Through:Midi Through Port-0", false))->getFactoryType(),
              AlsaMidiFactory::kTypeId);

    TMidiAliasManager* aliases = TMidiAliasManager::getInstance();
    TMidiAlias* inAlias = aliases->getAlias(BString("Both In"), TMidiAlias::kInput, true, -1);
    TMidiAlias* outAlias = aliases->getAlias(BString("Both Thru"), TMidiAlias::kOutput, true, -1);
    aliases->setAlias(BString("Both In"), TMidiAlias::kInput, BString("Both In"), BString("alsa-keys:out"), true);
    aliases->setAlias(BString("Both Thru"), TMidiAlias::kOutput, BString("Both Thru"), BString("jack-synth:in"), true);
    TMidiRouter::getInstance()->addRoute(outAlias, inAlias);
    manager->openInput(in);
    manager->openOutput(out);
    ASSERT_TRUE(manager->getInput(in)->isDeviceOpen());
    ASSERT_TRUE(manager->getOutput(out)->isDeviceOpen());

    std::vector<unsigned char> message(3000, 0x21);
    message.front() = 0xF0;
    message.back() = 0xF7;
    ASSERT_TRUE(keys->send(keysOut, {0x90, 60, 100}));
    ASSERT_TRUE(keys->send(keysOut, message));
    std::vector<unsigned char> expected;
    expected.reserve(message.size() + 3);
    for (unsigned char byte : {0x90, 60, 100})
        expected.push_back(byte);
    expected.insert(expected.end(), message.begin(), message.end());
    std::vector<unsigned char> arrived;
    EXPECT_TRUE(lumo_test::waitFor(
        [&] {
            arrived.clear();
            for (const auto& event : synth->received("in"))
                arrived.insert(arrived.end(), event.bytes.begin(), event.bytes.end());
            return arrived.size() >= expected.size();
        },
        15000))
        << arrived.size() << " of " << expected.size();
    EXPECT_EQ(arrived, expected);
}

// Thru from a JACK input runs on JACK's process thread: sending its copy to a sequencer port
// must neither allocate, free, lock nor sleep there (RealtimeGuard counts what that thread does).
TEST(BothLinuxBackends, ThruFromAJackInputToASequencerPortStaysRealtimeSafe)
{
    if (access("/dev/snd/seq", F_OK) != 0)
        GTEST_SKIP() << "no ALSA sequencer here; scripts/vm/alsa-tests.sh runs these tests in the test VM";
    if (!lumo_test::RealtimeGuard::available())
        GTEST_SKIP() << "sanitizer builds own the functions the guard counts";
    JackServerProcess server;
    ASSERT_TRUE(server.start());
    MidiManager* manager = MidiManager::getInstance();
    lumo_test::RealtimeThruProbe probe;
    manager->setDataListener(&probe);
    // Owned here: deleted (the ALSA one first) when the test ends, after the clients and before
    // the server, also when it fails.
    auto jack = std::make_unique<JackMidiFactory>("lumo-rt", false);
    auto alsa = std::make_unique<AlsaMidiFactory>("lumo-rt", false);
    manager->addFactory(jack.get());
    manager->addFactory(alsa.get());
    manager->start();

    auto keys = JackCompanion::open("jack-keys");
    auto synth = AlsaCompanion::open("alsa-synth");
    ASSERT_TRUE(keys && synth);
    ASSERT_TRUE(keys->addPort("out", true));
    const int synthIn = synth->addPort("in", false);
    ASSERT_GE(synthIn, 0);
    const auto present = [&](const char* name, bool isInput) {
        const int index = manager->findDeviceByName(BString(name), isInput);
        return index >= 0 && manager->getDevice(index, isInput)->present.load() != 0 ? index : -1;
    };
    ASSERT_TRUE(lumo_test::waitFor(
        [&] {
            manager->updateDevices(true, true);
            return present("jack-keys:out", true) >= 0 && present("alsa-synth:in", false) >= 0;
        },
        20000));
    const int in = present("jack-keys:out", true);
    const int out = present("alsa-synth:in", false);
    TMidiAliasManager* aliases = TMidiAliasManager::getInstance();
    TMidiAlias* inAlias = aliases->getAlias(BString("RT In"), TMidiAlias::kInput, true, -1);
    TMidiAlias* outAlias = aliases->getAlias(BString("RT Thru"), TMidiAlias::kOutput, true, -1);
    aliases->setAlias(BString("RT In"), TMidiAlias::kInput, BString("RT In"), BString("jack-keys:out"), true);
    aliases->setAlias(BString("RT Thru"), TMidiAlias::kOutput, BString("RT Thru"), BString("alsa-synth:in"), true);
    TMidiRouter::getInstance()->addRoute(outAlias, inAlias);
    manager->openInput(in);
    manager->openOutput(out);
    ASSERT_TRUE(manager->getInput(in)->isDeviceOpen());
    ASSERT_TRUE(manager->getOutput(out)->isDeviceOpen());

    std::vector<unsigned char> sysEx(3000, 0x21);
    sysEx.front() = 0xF0;
    sysEx.back() = 0xF7;
    const std::vector<std::vector<unsigned char>> messages = {{0x90, 60, 100}, {0xC0, 3}, sysEx, {0x80, 60, 0}};
    std::size_t total = 0;
    for (const auto& message : messages)
        total += message.size();
    // A first round flags the process thread; the second is the one counted.
    for (int round = 0; round < 2; ++round)
    {
        lumo_test::RealtimeGuard::reset();
        synth->clearReceived(synthIn);
        for (const auto& message : messages)
            ASSERT_TRUE(keys->send("out", message));
        ASSERT_TRUE(lumo_test::waitFor([&] { return synth->receivedBytes(synthIn).size() >= total; }, 15000))
            << synth->receivedBytes(synthIn).size() << " of " << total;
    }
    const auto counts = lumo_test::RealtimeGuard::counts();
    EXPECT_GT(probe.callCount(), 0);
    EXPECT_TRUE(counts.clean()) << counts;

    manager->setDataListener(nullptr);
}
