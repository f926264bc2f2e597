// A single alias: the stored "Device" form and its parsing, base names for pairing, and the
// alias list's unique add.
#include "midi/TMidiAlias.h"

#include "base/TIniFile.h"
#include "support/BStringPrinting.h"
#include "support/TempDirectory.h"

#include <gtest/gtest.h>

#include <string>

using lumo_test::TempDirectory;
using lumo_test::writeBytes;

namespace
{
struct Parsed
{
    int direction;
    std::string device;
    bool nonePersistent;
};

Parsed parse(const char* value)
{
    Parsed p {-1, "?", false};
    BString device("?");
    TMidiAlias::parseDeviceEntry(BString(value), p.direction, device, p.nonePersistent);
    p.device = device.CStr();
    return p;
}

TEST(TMidiAliasEntry, DirectionAndDeviceAreSplitAtTheFirstColonOnly)
{
    const Parsed usb = parse("1:USB MIDI");
    EXPECT_EQ(usb.direction, 1);
    EXPECT_EQ(usb.device, "USB MIDI");
    EXPECT_FALSE(usb.nonePersistent);

    const Parsed colon = parse("1:Port:A");
    EXPECT_EQ(colon.direction, 1);
    EXPECT_EQ(colon.device, "Port:A");

    const Parsed output = parse("2:Synth: Out 1");
    EXPECT_EQ(output.direction, 2);
    EXPECT_EQ(output.device, "Synth: Out 1");

    const Parsed empty = parse("2:");
    EXPECT_EQ(empty.direction, 2);
    EXPECT_EQ(empty.device, "");
}

TEST(TMidiAliasEntry, MalformedValuesGiveNoDirectionAndNoDevice)
{
    for (const char* value : {"7:USB MIDI", "USB MIDI", ":USB MIDI", "x:USB MIDI", "-1:USB MIDI", " 1:USB MIDI",
                              "1 :USB MIDI", "3:(none persistent)", "", "12:USB"})
    {
        const Parsed p = parse(value);
        EXPECT_EQ(p.direction, 0) << value;
        EXPECT_EQ(p.device, "") << value;
        EXPECT_FALSE(p.nonePersistent) << value;
    }
}

TEST(TMidiAliasEntry, NonePersistentIsRecognisedInAnyCaseAndWrittenInLowerCase)
{
    const Parsed p = parse("2:(NONE PERSISTENT)");
    EXPECT_EQ(p.direction, 2);
    EXPECT_EQ(p.device, "");
    EXPECT_TRUE(p.nonePersistent);

    TMidiAlias alias(BString("Thru"), BString(), TMidiAlias::kOutput);
    alias.flags = TMidiAlias::kNonePersistent;
    EXPECT_EQ(alias.deviceEntry(), BString("2:(none persistent)"));
    // With a device the binding is the device, whatever the flag says.
    TMidiAlias bound(BString("Thru"), BString("Port:A"), TMidiAlias::kOutput);
    bound.flags = TMidiAlias::kNonePersistent;
    EXPECT_EQ(bound.deviceEntry(), BString("2:Port:A"));
}

TEST(TMidiAliasEntry, AliasIsBuiltFromItsNumberedSettingsEntry)
{
    TempDirectory temp;
    writeBytes(temp.path("s.ini"), "[MIDI.alias]\nName0=Synth In\nDevice0=1:USB MIDI\nName1=Thru\n"
                                   "Device1=2:(None Persistent)\nName2=Odd\nDevice2=9:Port\n");
    TIniFile file(temp.text("s.ini"));
    ASSERT_TRUE(file.Load());

    TMidiAlias in(BString("Synth In"), file, 0);
    EXPECT_EQ(in.direction.load(), TMidiAlias::kInput);
    EXPECT_EQ(in.deviceName(), BString("USB MIDI"));
    EXPECT_EQ(in.flags.load(), 0);
    EXPECT_EQ(in.deviceIndex.load(), -1);
    EXPECT_EQ(in.factoryType.load(), 0u);

    TMidiAlias thru(BString("Thru"), file, 1);
    EXPECT_EQ(thru.direction.load(), TMidiAlias::kOutput);
    EXPECT_TRUE(thru.deviceName().IsEmpty());
    EXPECT_TRUE(thru.hasFlag(TMidiAlias::kNonePersistent));

    TMidiAlias odd(BString("Odd"), file, 2);
    EXPECT_EQ(odd.direction.load(), TMidiAlias::kNone);
    EXPECT_TRUE(odd.deviceName().IsEmpty());

    TMidiAlias missing(BString("Missing"), file, 5);
    EXPECT_EQ(missing.direction.load(), TMidiAlias::kNone);
}

TEST(TMidiAliasBaseName, DirectionWordsAreRemovedForTheAliasDirectionOnly)
{
    EXPECT_EQ(TMidiAlias::baseNameOf(BString("LUMO In"), TMidiAlias::kInput), BString("LUMO"));
    EXPECT_EQ(TMidiAlias::baseNameOf(BString("LUMO Out"), TMidiAlias::kOutput), BString("LUMO"));
    EXPECT_EQ(TMidiAlias::baseNameOf(BString("From Synth"), TMidiAlias::kInput), BString("Synth"));
    EXPECT_EQ(TMidiAlias::baseNameOf(BString("to synth output"), TMidiAlias::kOutput), BString("synth"));
    EXPECT_EQ(TMidiAlias::baseNameOf(BString("MIDI Input"), TMidiAlias::kInput), BString("MIDI"));
    // " Out" is no input word, "From " no output word.
    EXPECT_EQ(TMidiAlias::baseNameOf(BString("Synth Out"), TMidiAlias::kInput), BString("Synth Out"));
    EXPECT_EQ(TMidiAlias::baseNameOf(BString("From Synth"), TMidiAlias::kOutput), BString("From Synth"));
    // Applied in order, each once: " In" first, then " Input".
    EXPECT_EQ(TMidiAlias::baseNameOf(BString("Desk In Input"), TMidiAlias::kInput), BString("Desk In"));
    EXPECT_EQ(TMidiAlias::baseNameOf(BString("Desk Input In"), TMidiAlias::kInput), BString("Desk"));
    // A word inside a name is no direction word.
    EXPECT_EQ(TMidiAlias::baseNameOf(BString("Inside"), TMidiAlias::kInput), BString("Inside"));
    EXPECT_EQ(TMidiAlias::baseNameOf(BString("MIDI Thru"), TMidiAlias::kOutput), BString("MIDI Thru"));
    EXPECT_EQ(TMidiAlias::baseNameOf(BString("Any In"), TMidiAlias::kNone), BString("Any In"));
}

TEST(TMidiAliasList, AddUniqueSkipsNullAndDuplicates)
{
    TMidiAlias a(BString("A"), BString(), TMidiAlias::kInput);
    TMidiAlias b(BString("B"), BString(), TMidiAlias::kOutput);
    TMidiAliasList list;
    list.addUnique(&a);
    list.addUnique(nullptr);
    list.addUnique(&a);
    list.addUnique(&b);
    ASSERT_EQ(list.Count(), 2);
    EXPECT_EQ(list[0], &a);
    EXPECT_EQ(list[1], &b);

    TMidiAliasList other;
    other.addUnique(&b);
    other.addAll(list);
    ASSERT_EQ(other.Count(), 2);
    EXPECT_EQ(other[0], &b);
    EXPECT_EQ(other[1], &a);
}
} // namespace
