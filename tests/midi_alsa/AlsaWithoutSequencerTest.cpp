// The ALSA backend on a machine without a sequencer (no /dev/snd/seq, as on these machines'
// kernels): no devices, one line on stderr, and the manager's other backends unaffected.
#include "midi/MidiManager.h"
#include "midi/MidiManagerDev.h"
#include "midi/TMidiDeviceBase.h"
#include "midi/alsa/AlsaMidiDescriptor.h"
#include "midi/alsa/AlsaMidiFactory.h"
#include "support/MidiTestListeners.h"
#include "support/VirtualMidiBackend.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <unistd.h>

namespace
{
bool sequencerPresent()
{
    return access("/dev/snd/seq", F_OK) == 0;
}

int lines(const std::string& text)
{
    return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}
} // namespace

TEST(AlsaWithoutSequencer, ListsNothingAndSaysSoInOneLine)
{
    if (sequencerPresent())
        GTEST_SKIP() << "this machine has a sequencer";
    testing::internal::CaptureStderr();
    {
        AlsaMidiFactory factory("lumo-test", false);
        for (int scan = 0; scan < 3; ++scan)
        {
            EXPECT_EQ(factory.deviceCount(true), 0);
            EXPECT_EQ(factory.deviceCount(false), 0);
            BStringList names;
            factory.getDisplayNames(true, names);
            EXPECT_EQ(names.Count(), 0);
        }
        EXPECT_FALSE(factory.getSequencer().isConnected());
        EXPECT_EQ(factory.getSequencer().clientId(), -1);
    }
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(lines(err), 1) << err;
    EXPECT_NE(err.find("no ALSA sequencer"), std::string::npos) << err;
}

TEST(AlsaWithoutSequencer, DeviceOfARememberedPortStaysClosedAndSendsNothing)
{
    if (sequencerPresent())
        GTEST_SKIP() << "this machine has a sequencer";
    testing::internal::CaptureStderr();
    AlsaMidiFactory factory("lumo-test", false);
    const AlsaMidiDescriptor in(&factory, true, 0, "Midi Through:Midi Through Port-0", 14, 0);
    const AlsaMidiDescriptor out(&factory, false, 0, "Midi Through:Midi Through Port-0", 14, 0);
    auto input = factory.createDevice(in);
    auto output = factory.createDevice(out);
    input->openDevice();
    output->openDevice();
    EXPECT_FALSE(input->isOpen());
    EXPECT_FALSE(output->isOpen());
    const unsigned char note[3] = {0x90, 60, 1};
    EXPECT_FALSE(static_cast<TMidiOutputBase&>(*output).sendLong(note, 3));
    EXPECT_FALSE(static_cast<TMidiOutputBase&>(*output).sendShort(0x013C90));
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_LE(lines(err), 1) << err;
}

TEST(AlsaWithoutSequencer, ManagerListsTheOtherBackendsPortsAlone)
{
    if (sequencerPresent())
        GTEST_SKIP() << "this machine has a sequencer";
    testing::internal::CaptureStderr();
    MidiManager* manager = MidiManager::getInstance();
    VirtualMidiFactory virtualPorts;
    virtualPorts.setRescanOnChange(true);
    auto* alsa = new AlsaMidiFactory("lumo-test", false); // belongs to the AutoDelete registry
    manager->addFactory(alsa);
    manager->addFactory(&virtualPorts);
    virtualPorts.addPort(true, BString("Keys"));
    manager->updateDevices(true, true);
    const int keys = manager->findDeviceByName(BString("Keys"), true);
    ASSERT_GE(keys, 0);
    EXPECT_EQ(manager->getInput(keys)->present.load(), 1);
    for (int i = 0; i < manager->getInputCount(); ++i)
        EXPECT_NE(manager->getInput(i)->getFactoryType(), AlsaMidiFactory::kTypeId);
    alsa->unregisterFromManager();
    delete alsa;
    virtualPorts.unregisterFromManager();
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(lines(err), 1) << err;
}

TEST(AlsaMidiDescriptor, AddressRoundTripsAndRejectsMalformedIdentities)
{
    const AlsaMidiDescriptor d(nullptr, true, 0, "Synth:Port", 130, 2);
    int client = -1;
    int port = -1;
    ASSERT_TRUE(AlsaMidiDescriptor::addressOf(&d, client, port));
    EXPECT_EQ(client, 130);
    EXPECT_EQ(port, 2);
    EXPECT_EQ(std::string(d.displayName().CStr()), "Synth:Port");

    for (const char* identity : {"", "14", "14:", "a:b", "14:0x", "-1:0", "14:-2"})
    {
        MidiDeviceDescriptor other(nullptr, true, 0, BString("x"));
        other.interfaceName = BString(identity);
        EXPECT_FALSE(AlsaMidiDescriptor::addressOf(&other, client, port)) << identity;
    }
    EXPECT_FALSE(AlsaMidiDescriptor::addressOf(nullptr, client, port));
}
