// Port identity: matching after renumbering, counterpart pairing and display names.
#include "midi/MidiDeviceDescriptor.h"
#include "support/VirtualMidiBackend.h"

#include <gtest/gtest.h>

namespace
{
MidiDeviceDescriptor port(MidiDeviceFactory* f, bool isInput, const char* name, int instance = 0,
                          const char* interfaceName = "", const char* parent = "")
{
    MidiDeviceDescriptor d(f, isInput, 0, name);
    d.instance = instance;
    d.interfaceName = interfaceName;
    d.parentInstanceId = parent;
    return d;
}
} // namespace

TEST(MidiDeviceDescriptor, DisplayNameNumbersSecondAndLaterOfEqualNames)
{
    EXPECT_STREQ(port(nullptr, true, "USB MIDI", 0).displayName().CStr(), "USB MIDI");
    EXPECT_STREQ(port(nullptr, true, "USB MIDI", 1).displayName().CStr(), "USB MIDI");
    EXPECT_STREQ(port(nullptr, true, "USB MIDI", 2).displayName().CStr(), "USB MIDI (2)");
    EXPECT_STREQ(port(nullptr, true, "USB MIDI", 3).displayName().CStr(), "USB MIDI (3)");
}

TEST(MidiDeviceDescriptor, MatchesWithoutIdentityComparesInstance)
{
    VirtualMidiFactory f;
    const MidiDeviceDescriptor a = port(&f, true, "Synth", 1);
    EXPECT_TRUE(a.matches(&a));
    const MidiDeviceDescriptor renumbered = port(&f, true, "Synth", 2);
    EXPECT_FALSE(a.matches(&renumbered));
    const MidiDeviceDescriptor otherName = port(&f, true, "synth", 1);
    EXPECT_FALSE(a.matches(&otherName)) << "names compare case-sensitively";
    EXPECT_FALSE(a.matches(nullptr));
}

TEST(MidiDeviceDescriptor, MatchesWithIdentityIgnoresInstanceAndCase)
{
    VirtualMidiFactory f;
    const MidiDeviceDescriptor a = port(&f, true, "USB MIDI", 2, "\\\\?\\usb#vid_1&pid_2#7&abc", "USB\\VID_1\\5");
    const MidiDeviceDescriptor moved = port(&f, true, "USB MIDI", 0, "\\\\?\\USB#VID_1&PID_2#7&ABC", "usb\\vid_1\\5");
    EXPECT_TRUE(a.matches(&moved)) << "same physical port, renumbered";
    const MidiDeviceDescriptor otherPort = port(&f, true, "USB MIDI", 2, "\\\\?\\usb#vid_1&pid_2#7&def", "USB\\VID_1\\5");
    EXPECT_FALSE(a.matches(&otherPort));
}

TEST(MidiDeviceDescriptor, MatchesNeverAcrossDirectionsOrFactories)
{
    VirtualMidiFactory f1;
    VirtualMidiFactory f2(0x32545649);
    const MidiDeviceDescriptor in = port(&f1, true, "Port", 0);
    const MidiDeviceDescriptor out = port(&f1, false, "Port", 0);
    const MidiDeviceDescriptor otherFactory = port(&f2, true, "Port", 0);
    EXPECT_FALSE(in.matches(&out));
    EXPECT_FALSE(out.matches(&in));
    EXPECT_FALSE(in.matches(&otherFactory));
}

TEST(MidiDeviceDescriptor, PlaceholderMatchesRealPortButNotTheOtherWayWhenRealHasIdentity)
{
    VirtualMidiFactory f;
    MidiDeviceDescriptor placeholder(nullptr, true, -1, "USB MIDI");
    placeholder.instance = 2;
    const MidiDeviceDescriptor real = port(&f, true, "USB MIDI", 2, "\\\\?\\usb#x#y", "parent");
    EXPECT_TRUE(placeholder.matches(&real));
    EXPECT_FALSE(real.matches(&placeholder));
}

TEST(MidiDeviceDescriptor, ClearIdentityStopsMatchingTheMovedPort)
{
    VirtualMidiFactory f;
    MidiDeviceDescriptor a = port(&f, false, "USB MIDI", 2, "if-2", "p");
    const MidiDeviceDescriptor now = port(&f, false, "USB MIDI", 0, "if-2", "p");
    ASSERT_TRUE(a.matches(&now));
    a.clearIdentity();
    EXPECT_TRUE(a.getInterfaceName().IsEmpty());
    EXPECT_TRUE(a.getParentInstanceId().IsEmpty());
    EXPECT_FALSE(a.matches(&now)) << "without identity the instance decides (2 vs 0)";
}

TEST(MidiDeviceDescriptor, EqualsComparesEveryField)
{
    VirtualMidiFactory f;
    const MidiDeviceDescriptor a = port(&f, true, "A", 1, "if", "p");
    std::unique_ptr<MidiDeviceDescriptor> b = a.clone();
    EXPECT_TRUE(a.equals(b.get()));
    b->extraId = "x";
    EXPECT_FALSE(a.equals(b.get()));
    b = a.clone();
    b->index = 5;
    EXPECT_FALSE(a.equals(b.get()));
    b = a.clone();
    b->interfaceName = "IF";
    EXPECT_FALSE(a.equals(b.get())) << "case-sensitive";
    EXPECT_FALSE(a.equals(nullptr));
}

TEST(MidiDeviceDescriptor, CounterpartBySharedInterfacePath)
{
    VirtualMidiFactory f;
    const MidiDeviceDescriptor in = port(&f, true, "Keys In", 0, "path-1");
    const MidiDeviceDescriptor out = port(&f, false, "Something Else", 3, "path-1");
    EXPECT_TRUE(in.isCounterpart(&out));
    const MidiDeviceDescriptor otherIn = port(&f, true, "Keys In", 0, "path-1");
    EXPECT_FALSE(in.isCounterpart(&otherIn)) << "two inputs are never counterparts";
    EXPECT_FALSE(in.isCounterpart(nullptr));
}

TEST(MidiDeviceDescriptor, CounterpartByCommonNameAndInstance)
{
    VirtualMidiFactory f;
    const MidiDeviceDescriptor in = port(&f, true, "2- UM-ONE", 0);
    const MidiDeviceDescriptor out = port(&f, false, "3- UM-ONE", 0);
    EXPECT_TRUE(in.isCounterpart(&out)) << "number prefixes are stripped";
    const MidiDeviceDescriptor outOtherInstance = port(&f, false, "UM-ONE", 2);
    EXPECT_FALSE(in.isCounterpart(&outOtherInstance));
    const MidiDeviceDescriptor unrelated = port(&f, false, "Roland Sound Canvas", 0);
    EXPECT_FALSE(in.isCounterpart(&unrelated));
}

TEST(MidiDeviceDescriptor, CommonNameRejectsNumberedSiblings)
{
    EXPECT_TRUE(MidiDeviceDescriptor::commonName("USB MIDI 1", "USB MIDI 2").IsEmpty());
    EXPECT_STREQ(MidiDeviceDescriptor::commonName("Keystation In", "Keystation Out").CStr(), "Keystation");
    EXPECT_STREQ(MidiDeviceDescriptor::commonName("MIDIIN2 (Edirol)", "MIDIOUT2 (Edirol)").CStr(), "2 (Edirol)");
    EXPECT_TRUE(MidiDeviceDescriptor::commonName("", "Anything").IsEmpty());
    EXPECT_TRUE(MidiDeviceDescriptor::commonName("abcdef", "uvwxyz").IsEmpty());
}

TEST(MidiDeviceDescriptor, StripNumberPrefixNeedsDigitsAndDash)
{
    EXPECT_STREQ(MidiDeviceDescriptor::stripNumberPrefix("12-  Port").CStr(), "Port");
    EXPECT_STREQ(MidiDeviceDescriptor::stripNumberPrefix("-Port").CStr(), "-Port");
    EXPECT_STREQ(MidiDeviceDescriptor::stripNumberPrefix("12 Port").CStr(), "12 Port");
}
