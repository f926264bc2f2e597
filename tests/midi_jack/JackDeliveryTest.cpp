// Our inputs receive what other JACK clients send, byte-exact, SysEx in pieces of at most 1024
// bytes, with timestamps that never go backwards; our outputs send byte-exact.
#include "midi/MidiManager.h"
#include "midi/TMidiDeviceBase.h"
#include "midi/jack/JackCompanion.h"
#include "midi/jack/JackMidiDescriptor.h"
#include "midi/jack/JackMidiFactory.h"
#include "support/JackServerProcess.h"
#include "support/MidiTestListeners.h"
#include "support/WaitFor.h"

#include <gtest/gtest.h>

#include <mutex>
#include <vector>

namespace
{
std::vector<unsigned char> sysEx(std::size_t length)
{
    std::vector<unsigned char> bytes(length);
    for (std::size_t i = 0; i < length; ++i)
        bytes[i] = static_cast<unsigned char>((i * 7 + 3) & 0x7F);
    bytes.front() = 0xF0;
    bytes.back() = 0xF7;
    return bytes;
}

// The device object for the port of that full name, opened.
std::unique_ptr<TMidiDeviceBase> openPort(JackMidiFactory& factory, const std::string& portName, bool isInput)
{
    BOwnedList<MidiDeviceDescriptor*> list;
    factory.copyDescriptors(isInput, list);
    for (int i = 0; i < list.Count(); ++i)
    {
        if (std::string(list.Get(i)->getName().CStr()) == portName)
        {
            std::unique_ptr<TMidiDeviceBase> device = factory.createDevice(*list.Get(i));
            device->openDevice();
            return device;
        }
    }
    return nullptr;
}

struct DeliveryCase
{
    const char* what;
    std::vector<std::vector<unsigned char>> messages;
};

void PrintTo(const DeliveryCase& c, std::ostream* os)
{
    *os << c.what;
}

class JackDelivery : public ::testing::TestWithParam<DeliveryCase>
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(server.start());
        companion = JackCompanion::open("keyboard");
        ASSERT_NE(companion, nullptr);
        ASSERT_TRUE(companion->addPort("out", true));
        ASSERT_TRUE(companion->addPort("in", false));
    }

    JackServerProcess server;
    std::unique_ptr<JackCompanion> companion;
    JackMidiFactory factory{"lumo-test", false};
};
} // namespace

TEST_P(JackDelivery, InputDeliversEveryByteInOrderWithTimestampsThatNeverGoBack)
{
    std::unique_ptr<TMidiDeviceBase> device = openPort(factory, companion->fullName("out"), true);
    ASSERT_NE(device, nullptr);
    ASSERT_TRUE(device->isOpen());
    auto* input = static_cast<TMidiInputBase*>(device.get());
    RecordingDataListener listener;
    input->setDataListener(&listener);
    input->start();

    std::vector<unsigned char> expected;
    for (const auto& message : GetParam().messages)
    {
        ASSERT_TRUE(companion->send("out", message));
        expected.insert(expected.end(), message.begin(), message.end());
    }
    ASSERT_TRUE(lumo_test::waitFor([&] { return listener.byteCount() >= expected.size(); }, 10000));
    input->stop();
    device->closeDevice();

    std::vector<unsigned char> joined;
    std::int64_t last = 0;
    for (const auto& piece : listener.snapshot())
    {
        EXPECT_LE(piece.bytes.size(), 1024u);
        EXPECT_GE(piece.timestamp, last);
        last = piece.timestamp;
        joined.insert(joined.end(), piece.bytes.begin(), piece.bytes.end());
    }
    EXPECT_EQ(joined, expected);
}

INSTANTIATE_TEST_SUITE_P(
    Messages, JackDelivery,
    ::testing::Values(DeliveryCase{"short", {{0x90, 60, 100}, {0xC3, 5}, {0xF8}, {0xB0, 7, 127}, {0x80, 60, 0}}},
                      DeliveryCase{"sysex3000", {sysEx(3000)}}, DeliveryCase{"sysex32000", {sysEx(32000)}},
                      DeliveryCase{"mixed", {{0x90, 1, 2}, sysEx(1500), {0xC0, 9}, sysEx(1024), {0xFE}}}),
    [](const ::testing::TestParamInfo<DeliveryCase>& info) { return std::string(info.param.what); });

TEST_P(JackDelivery, OutputSendsEveryMessageWhole)
{
    std::unique_ptr<TMidiDeviceBase> device = openPort(factory, companion->fullName("in"), false);
    ASSERT_NE(device, nullptr);
    auto* output = static_cast<TMidiOutputBase*>(device.get());
    for (const auto& message : GetParam().messages)
    {
        if (message.size() <= 3 && message[0] != 0xF0)
            ASSERT_TRUE(output->sendShortBytes(message[0], message.size() > 1 ? message[1] : 0,
                                               message.size() > 2 ? message[2] : 0));
        else
            ASSERT_TRUE(output->sendLong(message.data(), static_cast<int>(message.size())));
    }
    const std::size_t count = GetParam().messages.size();
    ASSERT_TRUE(lumo_test::waitFor([&] { return companion->receivedCount("in") >= count; }, 10000));
    EXPECT_EQ(output->pendingLongCount(), 0);
    const auto received = companion->received("in");
    ASSERT_EQ(received.size(), count);
    for (std::size_t i = 0; i < count; ++i)
        EXPECT_EQ(received[i].bytes, GetParam().messages[i]) << "message " << i;
}

TEST(JackPorts, OtherClientsPortsAreListedByFullNameAndOursNever)
{
    JackServerProcess server;
    ASSERT_TRUE(server.start());
    auto companion = JackCompanion::open("synth");
    ASSERT_NE(companion, nullptr);
    ASSERT_TRUE(companion->addPort("midi_out", true));
    ASSERT_TRUE(companion->addPort("midi_in", false));
    JackMidiFactory factory("lumo-test", false);
    std::unique_ptr<TMidiDeviceBase> opened = openPort(factory, companion->fullName("midi_out"), true);
    ASSERT_NE(opened, nullptr);
    ASSERT_TRUE(opened->isOpen());

    // Our own new port must not show up as a device.
    ASSERT_TRUE(lumo_test::waitFor([&] { return factory.getObserver().changesSeen() > 0; }, 5000));
    BStringList inputs;
    BStringList outputs;
    ASSERT_TRUE(lumo_test::waitFor(
        [&] {
            factory.getDisplayNames(true, inputs);
            return inputs.Count() == 1;
        },
        5000));
    factory.getDisplayNames(false, outputs);
    EXPECT_EQ(std::string(inputs.Get(0).CStr()), companion->fullName("midi_out"));
    ASSERT_EQ(outputs.Count(), 1);
    EXPECT_EQ(std::string(outputs.Get(0).CStr()), companion->fullName("midi_in"));
}

TEST(JackPorts, ClosingAnInputUnregistersOurPort)
{
    JackServerProcess server;
    ASSERT_TRUE(server.start());
    auto companion = JackCompanion::open("synth");
    ASSERT_NE(companion, nullptr);
    ASSERT_TRUE(companion->addPort("midi_out", true));
    JackMidiFactory factory("lumo-test", false);
    std::unique_ptr<TMidiDeviceBase> device = openPort(factory, companion->fullName("midi_out"), true);
    ASSERT_NE(device, nullptr);
    // The companion sees our port as one of its destinations while open, and not after close.
    JackMidiFactory other("lumo-watch", false);
    BStringList destinations;
    other.getDisplayNames(false, destinations);
    int ours = 0;
    for (int i = 0; i < destinations.Count(); ++i)
        ours += std::string(destinations.Get(i).CStr()).rfind(factory.getSession().clientName() + ":", 0) == 0;
    EXPECT_EQ(ours, 1);
    device->closeDevice();
    EXPECT_FALSE(device->isOpen());
    EXPECT_FALSE(factory.getSession().portExists(factory.getSession().clientName() + ":in_1"));
}
