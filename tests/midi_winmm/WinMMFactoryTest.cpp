#include "midi_winmm/WinMMFixture.h"

#include "base/Exception.h"
#include "midi/winmm/EMidiError.h"
#include "midi/winmm/MidiDeviceDescriptorWin.h"

namespace
{
const MidiDeviceDescriptorWin& win(const std::unique_ptr<MidiDeviceDescriptor>& d)
{
    return dynamic_cast<const MidiDeviceDescriptorWin&>(*d);
}

const char* const kEnum = "SYSTEM\\CurrentControlSet\\Enum\\USB\\";
} // namespace

TEST_F(WinMMTest, MapperIsOutputZeroOnlyWhileThereAreOutputs)
{
    EXPECT_EQ(MidiWinFactory::getInstance()->deviceCount(false), 0);
    driver.addOutput({"Synth A", "", 0});
    driver.addOutput({"Synth B", "", 0});
    MidiWinFactory* factory = MidiWinFactory::getInstance();
    EXPECT_EQ(factory->deviceCount(false), 3);
    auto outputs = descriptors(false);
    ASSERT_EQ(outputs.size(), 3u);
    EXPECT_STREQ(outputs[0]->name.CStr(), "MIDI Mapper");
    EXPECT_TRUE(outputs[0]->interfaceName.IsEmpty());
    EXPECT_STREQ(outputs[1]->name.CStr(), "Synth A");
    EXPECT_EQ(win(outputs[1]).winmmId(), 0);
    EXPECT_EQ(win(outputs[0]).winmmId(), WinMM::kMapperId);
    EXPECT_EQ(factory->typeId(), 0x4944494Du);
    EXPECT_STREQ(factory->directionName(true).CStr(), "MIDI Input");
    EXPECT_STREQ(factory->directionName(false).CStr(), "MIDI Output");
}

TEST_F(WinMMTest, ShrinkingDeviceCountDropsTheLastDescriptors)
{
    driver.addOutput({"One", "", 0});
    driver.addOutput({"Two", "", 0});
    EXPECT_EQ(descriptors(false).size(), 3u);
    driver.removeLastOutput();
    MidiWinFactory::destroyInstance();
    MidiWinFactory::allowRecreationForTests();
    auto outputs = descriptors(false);
    ASSERT_EQ(outputs.size(), 2u);
    EXPECT_STREQ(outputs[1]->name.CStr(), "One");
}

TEST_F(WinMMTest, ProductNameStaysUnknownAfterOneFailedCapabilityQuery)
{
    // No interface path, so every refresh reads the capabilities again.
    driver.addInput({"Keys", "", 1});
    MidiDeviceDescriptorWin d(true, 0);
    EXPECT_TRUE(d.capsFailed);
    EXPECT_STREQ(d.name.CStr(), "unknown");
    d.refresh(); // the query succeeds now
    EXPECT_STREQ(d.productName.CStr(), "unknown");
    MidiDeviceDescriptorWin fresh(true, 0);
    EXPECT_STREQ(fresh.name.CStr(), "Keys");
}

TEST_F(WinMMTest, GetInstanceAfterDestructionThrows)
{
    MidiWinFactory::getInstance();
    MidiWinFactory::destroyInstance();
    try
    {
        MidiWinFactory::getInstance();
        FAIL() << "no exception";
    }
    catch (const Exception& e)
    {
        EXPECT_STREQ(e.what(), "Cannot re-instanciate MidiWinFactory!");
    }
}

struct UsbCase
{
    const char* label;
    const char* path;
    const char* service;
    int major;
    const char* expectedName;
    const char* expectedUsbName;
    const char* expectedParent;
};

class WinMMUsbLookup : public WinMMTest, public ::testing::WithParamInterface<UsbCase>
{
};

TEST_P(WinMMUsbLookup, NamesAndParentFollowTheRegistry)
{
    const UsbCase& c = GetParam();
    const BString instanceKey = BString(kEnum) + "vid_0A12&pid_0001&mi_00\\7&1a2b3c&0&0000";
    driver.setRegistryValue(instanceKey, "Service", c.service);
    driver.setRegistryValue(instanceKey, "FriendlyName", "Friendly Keys");
    driver.setRegistryValue(instanceKey, "LocationInformation", "USB Audio Device");
    driver.setRegistryValue(BString(kEnum) + "vid_0A12&pid_0001\\5&Other&0&2", "ParentIdPrefix", "6&ffff&0");
    driver.setRegistryValue(BString(kEnum) + "vid_0A12&pid_0001\\5&ABC&0&1", "ParentIdPrefix", "7&1A2B3C&0");
    driver.setMajorVersion(c.major);
    driver.addInput({"Keys Product", c.path, 0});

    MidiDeviceDescriptorWin d(true, 0);
    EXPECT_STREQ(d.name.CStr(), c.expectedName);
    EXPECT_STREQ(d.usbName.CStr(), c.expectedUsbName);
    EXPECT_STREQ(d.parentInstanceId.CStr(), c.expectedParent);
    EXPECT_EQ(driver.openRegistryKeys(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WinMMUsbLookup,
    ::testing::Values(
        UsbCase{"VistaKeepsProductName", "\\\\?\\usb#vid_0A12&pid_0001&mi_00#7&1a2b3c&0&0000#{guid}", "usbaudio", 6,
                "Keys Product", "Friendly Keys", "5&ABC&0&1"},
        UsbCase{"UpperCasePrefix", "\\\\?\\USB#vid_0A12&pid_0001&mi_00#7&1a2b3c&0&0000#{guid}", "USBAudio", 10,
                "Keys Product", "Friendly Keys", "5&ABC&0&1"},
        UsbCase{"VendorServiceNotLookedUp", "\\\\?\\usb#vid_0A12&pid_0001&mi_00#7&1a2b3c&0&0000#{guid}", "vendormidi",
                5, "Keys Product", "", ""},
        UsbCase{"XPUsesLocation", "\\\\?\\usb#vid_0A12&pid_0001&mi_00#7&1a2b3c&0&0000#{guid}", "usbaudio", 5,
                "USB Audio Device", "USB Audio Device", "5&ABC&0&1"},
        UsbCase{"OtherBusIgnored", "\\\\?\\bthenum#vid_0A12&pid_0001&mi_00#7&1a2b3c&0&0000#{guid}", "usbaudio", 6,
                "Keys Product", "", ""},
        UsbCase{"MissingInstanceField", "\\\\?\\usb#vid_0A12&pid_0001&mi_00", "usbaudio", 6, "Keys Product", "", ""}),
    [](const ::testing::TestParamInfo<UsbCase>& info) { return std::string(info.param.label); });

struct ErrorTextCase
{
    unsigned code;
    bool isInput;
    const char* prefix;
    const char* expected;
};

TEST_F(WinMMTest, ErrorTextsFollowTheResultCode)
{
    const ErrorTextCase cases[] = {
        {7, true, "", "It seems that the MIDI port is already open in another application."},
        {2, true, "", "Input error 2"},
        {2, false, "", "Output error 2"},
        {99, false, "", "Unspecified error"},
        {7, false, "Cannot open MIDI output device \"X\":",
         "Cannot open MIDI output device \"X\":\r\nIt seems that the MIDI port is already open in another "
         "application."},
    };
    for (const ErrorTextCase& c : cases)
        EXPECT_STREQ(EMidiError::textFor(c.code, c.isInput, c.prefix).CStr(), c.expected) << c.code;
}
