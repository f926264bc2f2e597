// The MIDI manager end to end over the virtual backend: records, open and close with their
// texts, the data path, device changes and the update pass rules.
#include "support/MidiManagerFixture.h"

#include "base/Exception.h"
#include "midi/MidiDeviceDescriptor.h"
#include "midi/MidiStatus.h"

#include <algorithm>
#include <thread>

namespace
{
bool contains(const std::vector<std::string>& lines, const std::string& line)
{
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}
} // namespace

using MidiManagerTest = MidiManagerFixture;

TEST_F(MidiManagerTest, ReplugReopensUnderTheSameIndex)
{
    const BString portName = name("Keys");
    int port = factory.addPort(true, portName);
    const int index = indexOf(portName, true);
    ASSERT_GE(index, 0);
    manager->openInput(index);
    ASSERT_TRUE(factory.isPortOpen(port));
    const std::string opened = std::string("Opened MIDI IN: ") + portName.CStr();
    EXPECT_TRUE(contains(control.texts("message"), opened));
    control.clear();

    factory.removePort(port);
    EXPECT_TRUE(manager->updateDevices(true, true));
    MidiManagerDev* record = manager->getDevice(index, true);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->present.load(), 0);
    EXPECT_EQ(record->pending.load(), 1) << "a vanished open device stays wanted";
    EXPECT_FALSE(record->isDeviceOpen());
    EXPECT_EQ(control.texts("message"), std::vector<std::string>{std::string("Closed MIDI IN: ") + portName.CStr()});
    control.clear();

    port = factory.addPort(true, portName);
    EXPECT_TRUE(manager->updateDevices(true, true));
    EXPECT_EQ(manager->findDeviceByName(portName, true), index) << "the returning device takes its old record";
    EXPECT_EQ(record->present.load(), 1);
    EXPECT_EQ(record->pending.load(), 0);
    EXPECT_TRUE(factory.isPortOpen(port));
    EXPECT_EQ(control.texts("message"), std::vector<std::string>{opened});
}

TEST_F(MidiManagerTest, RenumberingMovesTheRecordAndItsOpenConnection)
{
    const BString usb = name("USB MIDI");
    const int first = factory.addPort(true, usb, "usb#first", "parent-1");
    const int second = factory.addPort(true, usb, "usb#second", "parent-2");
    const int i1 = indexOf(usb, true);
    const int i2 = manager->findDeviceByName(usb + " (2)", true);
    ASSERT_GE(i1, 0);
    ASSERT_GE(i2, 0);
    manager->openInput(i1);
    manager->openInput(i2);
    ASSERT_TRUE(factory.isPortOpen(first));
    ASSERT_TRUE(factory.isPortOpen(second));

    CollectingDataListener data;
    manager->setDataListener(&data);

    factory.removePort(first); // the second port is renumbered to plain "USB MIDI"
    EXPECT_TRUE(manager->updateDevices(true, true));

    EXPECT_TRUE(factory.isPortOpen(second)) << "the open connection survives the move";
    EXPECT_EQ(factory.openCount(second), 1);
    MidiManagerDev* moved = manager->getDevice(i1, true);
    MidiManagerDev* left = manager->getDevice(i2, true);
    ASSERT_NE(moved, nullptr);
    ASSERT_NE(left, nullptr);
    EXPECT_EQ(moved->present.load(), 1);
    EXPECT_TRUE(moved->isDeviceOpen());
    EXPECT_EQ(left->present.load(), 0);
    EXPECT_FALSE(left->isDeviceOpen());

    ASSERT_TRUE(factory.feedShort(second, 0x90, 60, 100));
    const auto received = data.messages();
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].first, i1) << "data of the moved port arrives under its new index";
}

TEST_F(MidiManagerTest, IndicesStayStableWhileDevicesComeAndGo)
{
    const int a = factory.addPort(false, name("A"));
    factory.addPort(false, name("B"));
    const int ia = indexOf(name("A"), false);
    const int ib = manager->findDeviceByName(name("B"), false);
    ASSERT_GE(ia, 0);
    ASSERT_GE(ib, 0);
    factory.removePort(a);
    factory.addPort(false, name("C"));
    manager->updateDevices(true, true);
    const int ic = manager->findDeviceByName(name("C"), false);
    EXPECT_EQ(manager->findDeviceByName(name("B"), false), ib);
    EXPECT_EQ(manager->findDeviceByName(name("A"), false), ia) << "the absent device keeps its record";
    EXPECT_GT(ic, std::max(ia, ib)) << "a new device gets a new record at the end";
    EXPECT_EQ(manager->getOutput(ia)->present.load(), 0);
    factory.addPort(false, name("A"));
    manager->updateDevices(true, true);
    EXPECT_EQ(manager->findDeviceByName(name("A"), false), ia);
    EXPECT_EQ(manager->getOutput(ia)->present.load(), 1);
}

TEST_F(MidiManagerTest, InvalidIndexReportsInternalErrorWithIndexMinusOne)
{
    RecordingControlListener second("2:");
    manager->addDeviceControlListener(&second);
    manager->openInput(-1);
    manager->closeOutput(manager->getOutputCount() + 5, true);
    manager->removeDeviceControlListener(&second);
    EXPECT_EQ(control.lines(), (std::vector<std::string>{
                                   "error -1 in Internal error: illegal MIDI In device ID: -1",
                                   "error -1 out Internal error: illegal MIDI Out device ID: " +
                                       std::to_string(manager->getOutputCount() + 5)}));
    EXPECT_EQ(second.lines().size(), 2u);
}

TEST_F(MidiManagerTest, ControlListenersAreToldLastRegisteredFirst)
{
    std::vector<std::string> order;
    std::mutex orderMutex;
    struct Tagged : MidiManagerDeviceControlListener
    {
        Tagged(std::string t, std::vector<std::string>& o, std::mutex& m) : tag(std::move(t)), out(o), mutex(m) {}
        void deviceWillOpen(int, bool) override
        {
            std::lock_guard<std::mutex> g(mutex);
            out.push_back(tag);
        }
        std::string tag;
        std::vector<std::string>& out;
        std::mutex& mutex;
    };
    Tagged first("first", order, orderMutex);
    Tagged second("second", order, orderMutex);
    manager->addDeviceControlListener(&first);
    manager->addDeviceControlListener(&second);
    manager->addDeviceControlListener(&first); // unique: no second registration
    factory.addPort(false, name("Out"));
    manager->openOutput(indexOf(name("Out"), false));
    manager->removeDeviceControlListener(&first);
    manager->removeDeviceControlListener(&second);
    EXPECT_EQ(order, (std::vector<std::string>{"second", "first"}));
}

TEST_F(MidiManagerTest, OpenAndCloseSendTheirTextsInOrder)
{
    factory.addPort(false, name("Synth"));
    const int index = indexOf(name("Synth"), false);
    manager->openOutput(index);
    manager->closeOutput(index, false);
    const std::string n = std::to_string(index);
    const std::string display = name("Synth").CStr();
    EXPECT_EQ(control.lines(), (std::vector<std::string>{"willOpen " + n + " out",
                                                         "message " + n + " out Opened MIDI OUT: " + display,
                                                         "stateChanged " + n + " out", "willClose " + n + " out",
                                                         "message " + n + " out Closed MIDI OUT: " + display,
                                                         "stateChanged " + n + " out"}));
    EXPECT_EQ(manager->getOutput(index)->pending.load(), 0);
}

TEST_F(MidiManagerTest, FailedOpenStaysPendingAndIsRetriedByTheNextUpdate)
{
    const int port = factory.addPort(true, name("Busy"));
    factory.setOpenBehaviour(port, VirtualMidiFactory::OpenBehaviour::Fail);
    const int index = indexOf(name("Busy"), true);
    manager->openInput(index);
    EXPECT_EQ(control.texts("error"),
              std::vector<std::string>{std::string("MIDI IN device \"") + name("Busy").CStr() + "\" could not be opened."});
    EXPECT_EQ(manager->getInput(index)->pending.load(), 1);

    factory.setOpenBehaviour(port, VirtualMidiFactory::OpenBehaviour::Normal);
    manager->updateDevices(false, true);
    EXPECT_TRUE(factory.isPortOpen(port)) << "the update reopens a wanted present device";
    EXPECT_EQ(manager->getInput(index)->pending.load(), 0);
}

TEST_F(MidiManagerTest, ThrowingOpenIsReportedWithItsMessageAndKeptAsLastError)
{
    const int port = factory.addPort(false, name("Broken"));
    factory.setOpenBehaviour(port, VirtualMidiFactory::OpenBehaviour::Throw);
    const int index = indexOf(name("Broken"), false);
    manager->openOutput(index);
    const std::string expected = VirtualMidiFactory::failureText(name("Broken")).CStr();
    EXPECT_EQ(control.texts("error"), std::vector<std::string>{expected});
    EXPECT_STREQ(manager->getOutput(index)->getLastError().CStr(), expected.c_str());
    EXPECT_EQ(manager->getOutput(index)->pending.load(), 1);
    EXPECT_FALSE(factory.isPortOpen(port));
}

TEST_F(MidiManagerTest, DataListenerThatSetsHandledKeepsTheMessageFromThru)
{
    const int in = factory.addPort(true, name("In"));
    const int out = factory.addPort(false, name("Out"));
    const int inIndex = indexOf(name("In"), true);
    manager->openInput(inIndex);
    manager->openOutput(manager->findDeviceByName(name("Out"), false));
    route(name("In"), name("Out"));

    CollectingDataListener data;
    manager->setDataListener(&data);
    ASSERT_TRUE(factory.feedShort(in, 0x90, 64, 1));
    EXPECT_EQ(factory.sentCount(out), 1u);
    data.handleAll.store(true);
    ASSERT_TRUE(factory.feedShort(in, 0x90, 64, 2));
    EXPECT_EQ(factory.sentCount(out), 1u) << "handled messages are not passed through";
    EXPECT_EQ(data.calls.load(), 2);
    EXPECT_EQ(data.messages()[1].first, inIndex);
}

TEST_F(MidiManagerTest, ThruSendsShortMessagesPackedAndSysExPiecesUnchanged)
{
    const int in = factory.addPort(true, name("In"));
    const int out = factory.addPort(false, name("Out"));
    manager->openInput(indexOf(name("In"), true));
    manager->openOutput(manager->findDeviceByName(name("Out"), false));
    route(name("In"), name("Out"));

    factory.feedShort(in, 0xC3, 0x05);       // Program Change: two bytes
    factory.feedShort(in, 0xB0, 0x07, 0x64); // controller: three bytes
    factory.feedShort(in, 0xF8);             // Timing Clock passes by default
    factory.feedShort(in, 0xFE);             // Active Sensing does not
    std::vector<unsigned char> sysex(3000, 0x11);
    sysex.front() = 0xF0;
    sysex.back() = 0xF7;
    EXPECT_EQ(factory.feedSysEx(in, sysex.data(), static_cast<int>(sysex.size())), 3);
    const unsigned char tiny[3] = {0xF0, 0x7E, 0xF7};
    factory.feedSysEx(in, tiny, 3);

    const auto sent = factory.sentTo(out);
    ASSERT_EQ(sent.size(), 7u);
    EXPECT_TRUE(sent[0].isShort);
    EXPECT_EQ(sent[0].packed, 0x05C3u);
    EXPECT_EQ(sent[1].packed, 0x6407B0u);
    EXPECT_EQ(sent[2].packed, 0xF8u);
    EXPECT_FALSE(sent[3].isShort);
    EXPECT_EQ(sent[3].bytes, std::vector<unsigned char>(sysex.begin(), sysex.begin() + 1024));
    EXPECT_EQ(sent[4].bytes, std::vector<unsigned char>(sysex.begin() + 1024, sysex.begin() + 2048));
    EXPECT_EQ(sent[5].bytes, std::vector<unsigned char>(sysex.begin() + 2048, sysex.end()));
    EXPECT_FALSE(sent[6].isShort) << "a complete 3-byte SysEx stays a long message";
    EXPECT_EQ(sent[6].bytes, std::vector<unsigned char>(tiny, tiny + 3));
}

TEST_F(MidiManagerTest, ThruSendsTheShortLastPieceOfALongSysExWholeAsSysEx)
{
    const int in = factory.addPort(true, name("In"));
    const int out = factory.addPort(false, name("Out"));
    manager->openInput(indexOf(name("In"), true));
    manager->openOutput(manager->findDeviceByName(name("Out"), false));
    route(name("In"), name("Out"));

    // The driver's last buffer holds 1, 2 or 3 bytes: F7 alone, or data bytes and F7.
    for (const int tail : {1, 2, 3})
    {
        SCOPED_TRACE("last piece of " + std::to_string(tail) + " bytes");
        factory.clearSent(out);
        std::vector<unsigned char> sysex(static_cast<std::size_t>(TMidiOutputBase::kBlockSize + tail), 0x1F);
        sysex.front() = 0xF0;
        sysex.back() = 0xF7;
        ASSERT_EQ(factory.feedSysEx(in, sysex.data(), static_cast<int>(sysex.size())), 2);

        const auto sent = factory.sentTo(out);
        ASSERT_EQ(sent.size(), 2u);
        EXPECT_FALSE(sent[1].isShort);
        EXPECT_EQ(sent[1].bytes, std::vector<unsigned char>(sysex.begin() + TMidiOutputBase::kBlockSize, sysex.end()));
    }
}

TEST_F(MidiManagerTest, ThruPassesNoShortMessageThatArrivedCutShort)
{
    const int in = factory.addPort(true, name("In"));
    const int out = factory.addPort(false, name("Out"));
    manager->openInput(indexOf(name("In"), true));
    manager->openOutput(manager->findDeviceByName(name("Out"), false));
    route(name("In"), name("Out"));

    // Packed as they are, each would go out completed with zero bytes: a note-off, program 1.
    const std::vector<std::vector<unsigned char>> truncated = {
        {0x90, 0x3C}, {0xC0}, {0xB0, 0x07}, {0xE0}, {0xF2, 0x01}, {0xF3}};
    for (const auto& message : truncated)
        factory.feedSysEx(in, message.data(), static_cast<int>(message.size()));
    EXPECT_TRUE(factory.sentTo(out).empty());

    factory.feedShort(in, 0xC0, 0x05);
    const auto sent = factory.sentTo(out);
    ASSERT_EQ(sent.size(), 1u) << "a whole message still passes";
    EXPECT_EQ(sent[0].packed, 0x05C0u);
}

TEST_F(MidiManagerTest, UndefinedStatusBytesPassThroughAsTheOneByteTheyAre)
{
    const int in = factory.addPort(true, name("In"));
    const int out = factory.addPort(false, name("Out"));
    manager->openInput(indexOf(name("In"), true));
    manager->openOutput(manager->findDeviceByName(name("Out"), false));
    route(name("In"), name("Out"));

    for (const unsigned char status : {0xF4, 0xF5, 0xF9, 0xFD})
    {
        EXPECT_EQ(MidiStatus::statusLength(status), 1) << std::hex << int{status};
        factory.feedShort(in, status);
    }
    const auto sent = factory.sentTo(out);
    ASSERT_EQ(sent.size(), 4u) << "none is dropped as a message of no length";
    EXPECT_EQ(sent[0].packed, 0xF4u);
    EXPECT_EQ(sent[3].packed, 0xFDu);
}

TEST_F(MidiManagerTest, TwoOutputAliasesOfOneDeviceSendEachMessageOnce)
{
    const int in = factory.addPort(true, name("In"));
    const int out = factory.addPort(false, name("Out"));
    manager->openInput(indexOf(name("In"), true));
    manager->openOutput(manager->findDeviceByName(name("Out"), false));
    route(name("In"), name("Out"));
    TMidiAliasManager* aliases = TMidiAliasManager::getInstance();
    TMidiAlias* source = aliases->getAlias(name("route in"), TMidiAlias::kInput, false, -1);
    TMidiAlias* second = aliases->getAlias(name("second"), TMidiAlias::kOutput, true, -1);
    aliases->setAlias(name("second"), TMidiAlias::kOutput, name("second"), name("Out"), true);
    TMidiRouter::getInstance()->addRoute(second, source);

    factory.feedShort(in, 0x90, 60, 100);
    EXPECT_EQ(factory.sentTo(out).size(), 1u) << "a second note-on would retrigger the note";
}

TEST_F(MidiManagerTest, OpeningAnOpenInputKeepsItRunningUntouched)
{
    const int in = factory.addPort(true, name("In"));
    const int record = indexOf(name("In"), true);
    manager->openInput(record);
    ASSERT_EQ(factory.openCount(in), 1);
    const auto opened = control.texts("message").size();
    manager->openInput(record);
    EXPECT_EQ(factory.openCount(in), 1);
    EXPECT_EQ(control.texts("message").size(), opened) << "no second \"Opened\"";
    EXPECT_TRUE(factory.feedShort(in, 0x90, 60, 100));
}

TEST_F(MidiManagerTest, InputOptionsOfTheRecordReachTheDevice)
{
    const int in = factory.addPort(true, name("In"));
    const int index = indexOf(name("In"), true);
    manager->openInput(index);
    CollectingDataListener data;
    manager->setDataListener(&data);
    MMDevIn* record = manager->getInput(index);
    EXPECT_EQ(record->getPassClock(), 1);
    EXPECT_EQ(record->getPassActiveSensing(), 0);
    record->setPassClock(0);
    record->setPassActiveSensing(1);
    factory.feedShort(in, 0xF8);
    factory.feedShort(in, 0xFE);
    const unsigned char withClock[4] = {0xF0, 0xF8, 0x01, 0xF7};
    factory.feedSysEx(in, withClock, 4);
    const auto received = data.messages();
    ASSERT_EQ(received.size(), 2u);
    EXPECT_EQ(received[0].second, std::vector<unsigned char>{0xFE});
    EXPECT_EQ(received[1].second.size(), 4u) << "0xF8 inside SysEx is data, not a clock";
}

TEST_F(MidiManagerTest, FiltersRunInTheirOrderAndCanStopForwarding)
{
    const int in = factory.addPort(true, name("In"));
    const int out = factory.addPort(false, name("Out"));
    manager->openInput(indexOf(name("In"), true));
    manager->openOutput(manager->findDeviceByName(name("Out"), false));
    route(name("In"), name("Out"));

    struct InFilter : MidiInDeviceFilter
    {
        void filterInput(int, std::int64_t*, const unsigned char** data, int*, int* pass) override
        {
            order += tag;
            if ((*data)[0] == 0xA0)
                *pass = 0;
        }
        std::string& order;
        char tag;
        InFilter(std::string& o, char t) : order(o), tag(t) {}
    };
    struct OutFilter : MidiOutDeviceFilter
    {
        void filterOutput(int, const unsigned char** data, int*, int* pass) override
        {
            order += tag;
            if ((*data)[0] == 0xB0)
                *pass = 0;
        }
        std::string& order;
        char tag;
        OutFilter(std::string& o, char t) : order(o), tag(t) {}
    };
    std::string order;
    InFilter in1(order, 'a');
    InFilter in2(order, 'b');
    OutFilter out1(order, 'x');
    OutFilter out2(order, 'y');
    manager->addInputFilter(&in1);
    manager->addInputFilter(&in2);
    manager->addOutputFilter(&out1);
    manager->addOutputFilter(&out2);

    factory.feedShort(in, 0x90, 1, 1);
    EXPECT_EQ(order, "abyx") << "input filters first registered first, output filters last first";
    order.clear();
    factory.feedShort(in, 0xA0, 1, 1);
    EXPECT_EQ(order, "a") << "a dropped message sees no further filter";
    order.clear();
    factory.feedShort(in, 0xB0, 1, 1);
    EXPECT_EQ(order, "aby");

    manager->removeInputFilter(&in1);
    manager->removeInputFilter(&in2);
    manager->removeOutputFilter(&out1);
    manager->removeOutputFilter(&out2);
    EXPECT_EQ(factory.sentCount(out), 1u);
}

TEST_F(MidiManagerTest, NestedUpdateFromAListenerRepeatsThePass)
{
    const int port = factory.addPort(true, name("In"));
    factory.setOpenBehaviour(port, VirtualMidiFactory::OpenBehaviour::Fail);
    const int index = indexOf(name("In"), true);
    manager->openInput(index); // fails: stays pending
    factory.setOpenBehaviour(port, VirtualMidiFactory::OpenBehaviour::Normal);

    bool nestedResult = true;
    int nestedCalls = 0;
    control.onStateChanged = [&](int, bool) {
        ++nestedCalls;
        nestedResult = manager->updateDevices(false, true);
    };
    const int before = manager->updatePassCount();
    manager->updateDevices(false, true); // reopens the input, whose listener asks for an update
    control.onStateChanged = nullptr;
    EXPECT_EQ(nestedCalls, 1);
    EXPECT_FALSE(nestedResult) << "the nested call runs no pass of its own";
    EXPECT_EQ(manager->updatePassCount() - before, 2) << "the running pass repeats once";
}

TEST_F(MidiManagerTest, UpdateFromADeviceListListenerRunsNoPass)
{
    CountingListListener listener;
    bool nestedResult = true;
    int passesInside = -1;
    listener.onChanged = [&] {
        const int before = manager->updatePassCount();
        nestedResult = manager->updateDevices(true, true);
        passesInside = manager->updatePassCount() - before;
    };
    manager->addDeviceListListener(&listener);
    factory.addPort(false, name("New"));
    EXPECT_TRUE(manager->updateDevices(true, true));
    manager->removeDeviceListListener(&listener);
    EXPECT_EQ(listener.count(), 1);
    EXPECT_FALSE(nestedResult);
    EXPECT_EQ(passesInside, 0);
}

TEST_F(MidiManagerTest, UnchangedCountHidesASwapFromAnUnforcedUpdate)
{
    const int a = factory.addPort(false, name("A"));
    indexOf(name("A"), false);
    factory.removePort(a);
    factory.addPort(false, name("B")); // count unchanged
    manager->updateDevices(false, true);
    EXPECT_EQ(manager->findDeviceByName(name("B"), false), -1) << "polling only enumerates when a count changed";
    manager->updateDevices(true, true);
    EXPECT_GE(manager->findDeviceByName(name("B"), false), 0);
    EXPECT_EQ(manager->getOutput(manager->findDeviceByName(name("A"), false))->present.load(), 0);
}

TEST_F(MidiManagerTest, OpenOfAnAbsentDeviceStaysPendingQuietlyUntilItReturns)
{
    int port = factory.addPort(false, name("Later"));
    const int index = indexOf(name("Later"), false);
    factory.removePort(port);
    manager->updateDevices(true, true);
    control.clear();
    manager->openOutput(index);
    EXPECT_TRUE(control.lines().empty());
    EXPECT_EQ(manager->getOutput(index)->pending.load(), 1);
    port = factory.addPort(false, name("Later"));
    manager->updateDevices(true, true);
    EXPECT_TRUE(factory.isPortOpen(port));
}

TEST_F(MidiManagerTest, SameDisplayNameFromAnotherBackendGetsAHigherIndex)
{
    VirtualMidiFactory other(0x32545649);
    other.setRescanOnChange(true);
    manager->addFactory(&other);
    factory.addPort(true, name("Twin"));
    const int first = indexOf(name("Twin"), true);
    other.addPort(true, name("Twin"));
    manager->updateDevices(true, true);
    const int found = manager->findDeviceByName(name("Twin"), true);
    EXPECT_GT(found, first);
    EXPECT_EQ(manager->getInput(found)->getFactoryType(), 0x32545649u);
}

TEST_F(MidiManagerTest, DescriptorLookupFindsTheRecordOfARenamedPort)
{
    factory.addPort(true, name("Dev"), "if-dev", "parent-dev");
    const int index = indexOf(name("Dev"), true);
    MidiDeviceDescriptor probe(&factory, true, 0, name("Dev"));
    probe.interfaceName = "IF-DEV";
    probe.parentInstanceId = "PARENT-DEV";
    EXPECT_EQ(manager->findDeviceByDescriptor(probe, true), index);
    probe.interfaceName = "if-other";
    EXPECT_EQ(manager->findDeviceByDescriptor(probe, true), -1);
}

TEST_F(MidiManagerTest, RemovingTheFactoryClosesItsDevicesAndMarksThemAbsent)
{
    auto temporary = std::unique_ptr<VirtualMidiFactory>(new VirtualMidiFactory);
    temporary->setRescanOnChange(true);
    manager->addFactory(temporary.get());
    const int port = temporary->addPort(false, name("Gone"));
    const int index = indexOf(name("Gone"), false);
    manager->openOutput(index);
    ASSERT_TRUE(temporary->isPortOpen(port));
    temporary.reset();
    MMDevOut* record = manager->getOutput(index);
    EXPECT_EQ(record->present.load(), 0);
    EXPECT_FALSE(record->isDeviceOpen());
    EXPECT_EQ(record->pending.load(), 1);
    EXPECT_EQ(record->getFactory(), nullptr);
    EXPECT_TRUE(contains(control.texts("message"), std::string("Closed MIDI OUT: ") + name("Gone").CStr()));
    manager->updateDevices(true, true); // must not touch the deleted factory
}

TEST_F(MidiManagerTest, PortLostByTheDriverIsClosedAndReopenedByTheNextUpdate)
{
    const int port = factory.addPort(true, name("Flaky"));
    const int index = indexOf(name("Flaky"), true);
    manager->openInput(index);
    CollectingDataListener data;
    manager->setDataListener(&data);
    factory.losePort(port);
    EXPECT_FALSE(factory.feedShort(port, 0x90, 1, 1)) << "a lost connection delivers nothing";
    control.clear();
    manager->updateDevices(false, true);
    const std::string display = name("Flaky").CStr();
    EXPECT_EQ(control.texts("message"),
              (std::vector<std::string>{"Closed MIDI IN: " + display, "Opened MIDI IN: " + display}));
    EXPECT_TRUE(factory.feedShort(port, 0x90, 1, 1));
    EXPECT_EQ(data.calls.load(), 1);
}

TEST_F(MidiManagerTest, TwoFactoriesOfOneTypeDoNotHideEachOthersDevices)
{
    VirtualMidiFactory second; // same type identifier as the fixture's factory
    second.setRescanOnChange(true);
    manager->addFactory(&second);
    factory.addPort(true, name("First"));
    second.addPort(true, name("Second"));
    manager->updateDevices(true, true);
    const int first = manager->findDeviceByName(name("First"), true);
    const int other = manager->findDeviceByName(name("Second"), true);
    ASSERT_GE(first, 0);
    ASSERT_GE(other, 0);
    manager->updateDevices(true, true);
    EXPECT_EQ(manager->getInput(first)->present.load(), 1);
    EXPECT_EQ(manager->getInput(other)->present.load(), 1);
}

TEST_F(MidiManagerTest, OutputFilterChangeReachesOnlyTheTargetItWasMadeFor)
{
    const int in = factory.addPort(true, name("In"));
    const int first = factory.addPort(false, name("Out A"));
    const int second = factory.addPort(false, name("Out B"));
    manager->openInput(indexOf(name("In"), true));
    manager->openOutput(manager->findDeviceByName(name("Out A"), false));
    manager->openOutput(manager->findDeviceByName(name("Out B"), false));
    TMidiAliasManager* aliases = TMidiAliasManager::getInstance();
    TMidiAlias* source = aliases->getAlias(name("in"), TMidiAlias::kInput, true, -1);
    aliases->setAlias(name("in"), TMidiAlias::kInput, name("in"), name("In"), true);
    for (const char* target : {"Out A", "Out B"})
    {
        TMidiAlias* alias = aliases->getAlias(name(target), TMidiAlias::kOutput, true, -1);
        aliases->setAlias(name(target), TMidiAlias::kOutput, name(target), name(target), true);
        TMidiRouter::getInstance()->addRoute(alias, source);
    }

    // Transposes each target's copy up one semitone: applied once per target, every target
    // gets the note one up, whatever the order in which targets are served.
    struct Transpose : MidiOutDeviceFilter
    {
        void filterOutput(int, const unsigned char** data, int* length, int*) override
        {
            std::copy(*data, *data + *length, buffer);
            buffer[1] = static_cast<unsigned char>(buffer[1] + 1);
            *data = buffer;
        }
        unsigned char buffer[3] = {};
    } transpose;
    manager->addOutputFilter(&transpose);
    factory.feedShort(in, 0x90, 60, 100);
    manager->removeOutputFilter(&transpose);

    for (const int output : {first, second})
    {
        const auto sent = factory.sentTo(output);
        ASSERT_EQ(sent.size(), 1u);
        EXPECT_EQ(sent[0].packed, 0x643D90u) << "note 61, transposed once";
    }
}
