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
#include "support/WaitFor.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <string>
#include <vector>

TEST(BothLinuxBackends, ListSideBySideAndPassThruFromASequencerPortToAJackPort)
{
    if (access("/dev/snd/seq", F_OK) != 0)
        GTEST_SKIP() << "no ALSA sequencer here; scripts/vm/alsa-tests.sh runs these tests in the test VM";
    JackServerProcess server;
    ASSERT_TRUE(server.start());
    MidiManager* manager = MidiManager::getInstance();
    auto* jack = new JackMidiFactory("lumo-both"); // both deleted below
    auto* alsa = new AlsaMidiFactory("lumo-both");
    manager->addFactory(jack);
    manager->addFactory(alsa);

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

    delete alsa;
    delete jack;
    synth.reset();
    server.stop();
}
