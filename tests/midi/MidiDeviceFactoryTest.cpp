// The generic factory: numbering of equal names, identical ports, direction alignment and the
// rate-limited rescan.
#include "midi/MidiDeviceDescriptor.h"
#include "support/VirtualMidiBackend.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace
{
std::vector<std::string> displayNames(VirtualMidiFactory& f, bool isInput)
{
    BStringList names;
    f.getDisplayNames(isInput, names);
    std::vector<std::string> result;
    for (int i = 0; i < names.Count(); ++i)
        result.push_back(names[i].CStr());
    return result;
}
} // namespace

TEST(MidiDeviceFactory, EqualNamesAreNumberedInEnumerationOrder)
{
    VirtualMidiFactory f;
    f.addPort(true, "USB MIDI");
    f.addPort(true, "Synth");
    f.addPort(true, "usb midi");
    f.addPort(true, "USB MIDI");
    EXPECT_EQ(displayNames(f, true), (std::vector<std::string>{"USB MIDI", "Synth", "usb midi (2)", "USB MIDI (3)"}));

    BOwnedList<MidiDeviceDescriptor*> copies;
    f.copyDescriptors(true, copies);
    ASSERT_EQ(copies.Count(), 4);
    EXPECT_EQ(copies[0]->instance, 1);
    EXPECT_EQ(copies[1]->instance, 0);
    EXPECT_EQ(copies[2]->instance, 2);
    EXPECT_EQ(copies[3]->instance, 3);
    EXPECT_EQ(copies[3]->index, 3);
    EXPECT_EQ(copies[0]->factory, &f);
}

TEST(MidiDeviceFactory, TrulyIdenticalPortsGetDistinctNames)
{
    VirtualMidiFactory f;
    f.addPort(false, "USB MIDI", "same-path", "same-parent");
    f.addPort(false, "USB MIDI", "same-path", "same-parent");
    BOwnedList<MidiDeviceDescriptor*> copies;
    f.copyDescriptors(false, copies);
    ASSERT_EQ(copies.Count(), 2);
    EXPECT_STREQ(copies[0]->name.CStr(), "USB MIDI 1");
    EXPECT_STREQ(copies[1]->name.CStr(), "USB MIDI 2");
    EXPECT_EQ(copies[0]->instance, 0);
    EXPECT_EQ(copies[1]->instance, 0);
}

TEST(MidiDeviceFactory, OutputTakesInstanceOfItsInputCounterpart)
{
    VirtualMidiFactory f;
    f.addPort(true, "Dual", "path-a");
    f.addPort(true, "Dual", "path-b");
    f.addPort(false, "Dual", "path-b"); // only the second device has an output
    BOwnedList<MidiDeviceDescriptor*> outputs;
    f.copyDescriptors(false, outputs);
    ASSERT_EQ(outputs.Count(), 1);
    EXPECT_EQ(outputs[0]->instance, 2);
    EXPECT_STREQ(outputs[0]->displayName().CStr(), "Dual (2)");
}

TEST(MidiDeviceFactory, RescanAtMostOncePerWindowAndEveryRequestMovesIt)
{
    VirtualMidiFactory f;
    f.addPort(true, "A");
    EXPECT_EQ(displayNames(f, true).size(), 1u);
    const int afterFirst = f.refreshCount();
    f.addPort(true, "B");
    EXPECT_EQ(displayNames(f, true).size(), 1u) << "a second request within 1500 ms does not rescan";
    EXPECT_EQ(f.refreshCount(), afterFirst);

    // Requests that keep coming less than 1500 ms apart never rescan.
    for (int i = 0; i < 4; ++i)
    {
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        BStringList names;
        f.getDisplayNames(true, names);
    }
    EXPECT_EQ(f.refreshCount(), afterFirst) << "2000 ms of requests 500 ms apart";

    std::this_thread::sleep_for(std::chrono::milliseconds(1600));
    EXPECT_EQ(displayNames(f, true).size(), 2u);
    EXPECT_GT(f.refreshCount(), afterFirst);
}

TEST(MidiDeviceFactory, ASystemChangeLetsEveryFactoryRescanOnceWithinTheWindow)
{
    VirtualMidiFactory first;
    VirtualMidiFactory second;
    first.addPort(true, "A");
    second.addPort(true, "X");
    EXPECT_EQ(displayNames(first, true).size(), 1u);
    EXPECT_EQ(displayNames(second, true).size(), 1u);
    first.addPort(true, "B");
    second.addPort(true, "Y");

    MidiDeviceFactory::systemDeviceSetChanged();
    EXPECT_EQ(displayNames(first, true).size(), 2u);
    EXPECT_EQ(displayNames(second, true).size(), 2u);

    // The announcement is used up: the window holds again.
    first.addPort(true, "C");
    EXPECT_EQ(displayNames(first, true).size(), 2u);
}

TEST(MidiDeviceFactory, CopyDescriptorsReplacesOldEntriesAndShrinks)
{
    VirtualMidiFactory f;
    const int a = f.addPort(false, "A");
    f.addPort(false, "B");
    BOwnedList<MidiDeviceDescriptor*> copies;
    f.copyDescriptors(false, copies);
    ASSERT_EQ(copies.Count(), 2);
    f.removePort(a);
    std::this_thread::sleep_for(std::chrono::milliseconds(1600));
    f.copyDescriptors(false, copies);
    ASSERT_EQ(copies.Count(), 1);
    EXPECT_STREQ(copies[0]->name.CStr(), "B");
    EXPECT_EQ(copies[0]->index, 0);
}

TEST(MidiDeviceFactory, ExtraIdsListOnlyNonEmptyOnes)
{
    VirtualMidiFactory f;
    f.addPort(true, "A");
    f.addPort(true, "B");
    BStringList ids;
    f.getExtraIds(true, ids);
    EXPECT_EQ(ids.Count(), 2) << "the virtual backend identifies its ports by extra id";
    BStringList none;
    f.getExtraIds(false, none);
    EXPECT_EQ(none.Count(), 0);
}
