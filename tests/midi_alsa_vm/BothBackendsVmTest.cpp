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

namespace
{
// A private JACK server and both factories in the manager. Declared in this order, the factories
// go (the ALSA one first) after the test's clients and before the server, also when a test fails.
class BothLinuxBackends : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (access("/dev/snd/seq", F_OK) != 0)
            GTEST_SKIP() << "no ALSA sequencer here; scripts/vm/alsa-tests.sh runs these tests in the test VM";
        ASSERT_TRUE(server.start());
        jack = std::make_unique<JackMidiFactory>("lumo-both", false);
        alsa = std::make_unique<AlsaMidiFactory>("lumo-both", false);
        manager->addFactory(jack.get());
        manager->addFactory(alsa.get());
    }

    // The manager's index of the present device of that name, else -1.
    int present(const char* name, bool isInput) const
    {
        const int index = manager->findDeviceByName(BString(name), isInput);
        return index >= 0 && manager->getDevice(index, isInput)->present.load() != 0 ? index : -1;
    }

    // Binds the aliases "<prefix> In" and "<prefix> Thru" to the two devices, routes the first to
    // the second and opens both.
    void openThru(const std::string& prefix, const char* inName, const char* outName, int& in, int& out)
    {
        ASSERT_TRUE(lumo_test::waitFor(
            [&] {
                manager->updateDevices(true, true);
                return present(inName, true) >= 0 && present(outName, false) >= 0;
            },
            20000));
        in = present(inName, true);
        out = present(outName, false);
        const BString inAliasName((prefix + " In").c_str());
        const BString outAliasName((prefix + " Thru").c_str());
        TMidiAliasManager* aliases = TMidiAliasManager::getInstance();
        TMidiAlias* inAlias = aliases->getAlias(inAliasName, TMidiAlias::kInput, true, -1);
        TMidiAlias* outAlias = aliases->getAlias(outAliasName, TMidiAlias::kOutput, true, -1);
        aliases->setAlias(inAliasName, TMidiAlias::kInput, inAliasName, BString(inName), true);
        aliases->setAlias(outAliasName, TMidiAlias::kOutput, outAliasName, BString(outName), true);
        TMidiRouter::getInstance()->addRoute(outAlias, inAlias);
        manager->openInput(in);
        manager->openOutput(out);
        ASSERT_TRUE(manager->getInput(in)->isDeviceOpen());
        ASSERT_TRUE(manager->getOutput(out)->isDeviceOpen());
    }

    MidiManager* const manager = MidiManager::getInstance();
    JackServerProcess server;
    std::unique_ptr<JackMidiFactory> jack;
    std::unique_ptr<AlsaMidiFactory> alsa;
};
} // namespace

TEST_F(BothLinuxBackends, ListSideBySideAndPassThruFromASequencerPortToAJackPort)
{
    auto synth = JackCompanion::open("jack-synth");
    auto keys = AlsaCompanion::open("alsa-keys");
    ASSERT_TRUE(synth && keys);
    ASSERT_TRUE(synth->addPort("in", false));
    const int keysOut = keys->addPort("out", true);
    ASSERT_GE(keysOut, 0);

    int in = -1;
    int out = -1;
    ASSERT_NO_FATAL_FAILURE(openThru("Both", "alsa-keys:out", "jack-synth:in", in, out));
    EXPECT_EQ(manager->getInput(in)->getFactoryType(), AlsaMidiFactory::kTypeId);
    EXPECT_EQ(manager->getOutput(out)->getFactoryType(), JackMidiFactory::kTypeId);
    const int through = present("Midi Through:Midi Through Port-0", false);
    ASSERT_GE(through, 0);
    EXPECT_EQ(manager->getOutput(through)->getFactoryType(), AlsaMidiFactory::kTypeId);

    std::vector<unsigned char> message(3000, 0x21);
    message.front() = 0xF0;
    message.back() = 0xF7;
    ASSERT_TRUE(keys->send(keysOut, {0x90, 60, 100}));
    ASSERT_TRUE(keys->send(keysOut, message));
    // (Built by appending: GCC 12 warns falsely about inserting into an initialised vector.)
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
TEST_F(BothLinuxBackends, ThruFromAJackInputToASequencerPortStaysRealtimeSafe)
{
    if (!lumo_test::RealtimeGuard::available())
        GTEST_SKIP() << "sanitizer builds own the functions the guard counts";
    lumo_test::RealtimeThruProbe probe;
    manager->setDataListener(&probe);
    manager->start();

    auto keys = JackCompanion::open("jack-keys");
    auto synth = AlsaCompanion::open("alsa-synth");
    ASSERT_TRUE(keys && synth);
    ASSERT_TRUE(keys->addPort("out", true));
    const int synthIn = synth->addPort("in", false);
    ASSERT_GE(synthIn, 0);
    int in = -1;
    int out = -1;
    ASSERT_NO_FATAL_FAILURE(openThru("RT", "jack-keys:out", "alsa-synth:in", in, out));

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
