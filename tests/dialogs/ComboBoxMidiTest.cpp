// The MIDI port combo box: items, pending devices, selection from and writing to its alias,
// the don't-ask mode, coalesced rebuilds from other threads and safe destruction.
#include "gui/MidiGuiFixture.h"

#include "dialogs/ComboBoxMidi.h"
#include "midi/MidiDeviceDescriptor.h"
#include "midi/MidiManagerDev.h"
#include "midi/TMidiAlias.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

using JuceTestSupport::pumpUntil;

namespace
{
struct Item
{
    juce::String text;
    int id;
    bool operator==(const Item& other) const { return text == other.text && id == other.id; }
};

std::ostream& operator<<(std::ostream& out, const Item& item)
{
    return out << '"' << item.text << "\" #" << item.id;
}

std::vector<Item> itemsOf(const ComboBoxMidi& box)
{
    std::vector<Item> items;
    for (int i = 0; i < box.getNumItems(); ++i)
        items.push_back({ box.getItemText(i), box.getItemId(i) });
    return items;
}

class ComboBoxMidiTest : public MidiGuiFixture
{
protected:
    std::unique_ptr<ComboBoxMidi> makeBox(bool isInput, TMidiAlias* alias = nullptr)
    {
        auto box = std::make_unique<ComboBoxMidi>(isInput);
        box->setAlias(alias);
        return box;
    }

    TMidiAlias* inputAlias(const char* device)
    {
        TMidiAlias* alias = aliases().getAlias("Keys", TMidiAlias::kInput, true, -1);
        aliases().setAlias("Keys", TMidiAlias::kInput, "Keys", BString(device), false);
        return alias;
    }
};

TEST_F(ComboBoxMidiTest, ListsTheDevicesOfItsDirectionSortedIgnoringCaseWithRecordIds)
{
    factory->addPort(true, "b synth");
    factory->addPort(true, "Arp");
    factory->addPort(false, "Out only");
    factory->addPort(true, "C drums");
    startManager();
    const int b = recordOf("b synth", true);
    const int arp = recordOf("Arp", true);
    const int c = recordOf("C drums", true);

    auto box = makeBox(true);
    EXPECT_EQ(box->getNumItems(), 0);
    EXPECT_EQ(box->getTextWhenNoChoicesAvailable(), "(no ports available)");
    box->requestSelectFromAlias();

    const std::vector<Item> expected { { "(none)", -1 }, { "Arp", arp + 1 }, { "b synth", b + 1 }, { "C drums", c + 1 } };
    EXPECT_EQ(itemsOf(*box), expected);
    EXPECT_EQ(box->getSelectedId(), -1);
    EXPECT_EQ(box->getText(), "(none)");
}

TEST_F(ComboBoxMidiTest, WithoutDevicesOfItsDirectionOnlyNoneIsListedAndSelected)
{
    factory->addPort(false, "Only an output");
    startManager();
    auto box = makeBox(true);
    box->requestSelectFromAlias();
    EXPECT_EQ(itemsOf(*box), (std::vector<Item> { { "(none)", -1 } }));
    EXPECT_EQ(box->getText(), "(none)");
}

TEST_F(ComboBoxMidiTest, SelectsTheAliasDeviceOrNoneWhenTheAliasNamesNoRecord)
{
    factory->addPort(true, "Keys A");
    factory->addPort(true, "Keys B");
    startManager();
    const int keysB = recordOf("Keys B", true);

    struct Case
    {
        const char* device;
        int expectedId;
    };
    for (const Case& c : { Case { "Keys B", keysB + 1 }, Case { "Nothing like it", -1 }, Case { "", -1 } })
    {
        SCOPED_TRACE(c.device);
        auto box = makeBox(true, inputAlias(c.device));
        box->requestSelectFromAlias();
        EXPECT_EQ(box->getSelectedId(), c.expectedId);
    }
}

TEST_F(ComboBoxMidiTest, PendingDevicesAreListedMarkedOnlyWhileShowPendingIsOn)
{
    const int port = factory->addPort(true, "Unplugged");
    factory->addPort(true, "Stays");
    MidiManager& manager = startManager();
    const int record = recordOf("Unplugged", true);
    manager.openInput(record);
    factory->removePort(port);
    manager.updateDevices(true, true);
    ASSERT_EQ(manager.getInput(record)->present.load(), 0);
    ASSERT_NE(manager.getInput(record)->pending.load(), 0);

    auto box = makeBox(true);
    box->requestSelectFromAlias();
    EXPECT_EQ(box->getItemText(1), "Stays");
    EXPECT_EQ(box->getItemText(2), "Unplugged (pending)");
    EXPECT_EQ(box->getItemId(2), record + 1);

    box->setShowPending(false);
    EXPECT_EQ(box->getNumItems(), 2);
    EXPECT_EQ(box->getItemText(1), "Stays");
}

TEST_F(ComboBoxMidiTest, ApplyingWritesTheChosenDeviceAndNoneClearsTheDeviceAndTheDontAskBit)
{
    factory->addPort(true, "Keys A");
    startManager();
    const int keys = recordOf("Keys A", true);
    TMidiAlias* alias = inputAlias("");
    alias->setFlag(TMidiAlias::kNonePersistent, true);
    auto box = makeBox(true, alias);
    box->requestSelectFromAlias();

    box->setSelectedId(keys + 1, juce::sendNotificationSync);
    EXPECT_TRUE(box->applyToAlias());
    EXPECT_EQ(alias->deviceName(), "Keys A");
    EXPECT_TRUE(alias->hasFlag(TMidiAlias::kNonePersistent));   // a chosen device leaves the bit

    box->setSelectedId(ComboBoxMidi::kNoneId, juce::sendNotificationSync);
    EXPECT_TRUE(box->applyToAlias());
    EXPECT_EQ(alias->deviceName(), "");
    EXPECT_FALSE(alias->hasFlag(TMidiAlias::kNonePersistent));
    EXPECT_FALSE(box->applyToAlias());   // nothing left to change
}

TEST_F(ComboBoxMidiTest, DontAskModeSelectsAndKeepsTheExplicitNoDeviceBinding)
{
    factory->addPort(true, "Keys A");
    startManager();
    TMidiAlias* alias = inputAlias("");
    alias->setFlag(TMidiAlias::kNonePersistent, true);
    auto box = makeBox(true, alias);
    box->setDontAskMode(true);
    box->requestSelectFromAlias();

    EXPECT_EQ(box->getItemText(0), "(no assignment)");
    EXPECT_EQ(box->getItemText(1), "(none - don't ask again)");
    EXPECT_EQ(box->getSelectedId(), ComboBoxMidi::kDontAskId);
    box->applyToAlias();
    EXPECT_TRUE(alias->hasFlag(TMidiAlias::kNonePersistent));
    EXPECT_EQ(alias->deviceName(), "");

    // Leaving the mode turns the choice into plain "(none)".
    box->setDontAskMode(false);
    EXPECT_EQ(box->getItemText(0), "(none)");
    EXPECT_EQ(box->getSelectedId(), ComboBoxMidi::kNoneId);
}

TEST_F(ComboBoxMidiTest, NotificationsFromAnotherThreadBeforeTheMessageThreadRunsGiveOneRebuild)
{
    factory->addPort(true, "Keys A");
    startManager();
    auto box = makeBox(true);
    box->requestSelectFromAlias();
    const int rebuilds = box->getRebuildCount();

    factory->addPort(true, "Keys B");
    MidiManager::getInstance()->updateDevices(true, false);   // the notifications come from elsewhere
    std::thread notifier([&] {
        for (int i = 0; i < 50; ++i)
            box->deviceListChanged();
    });
    notifier.join();
    ASSERT_TRUE(pumpUntil([&] { return box->getNumItems() == 3; }));
    JuceTestSupport::pumpFor(50);
    EXPECT_EQ(box->getRebuildCount(), rebuilds + 1);
}

TEST_F(ComboBoxMidiTest, TheSelectionSurvivesARebuildWhileItsDeviceIsListed)
{
    factory->addPort(true, "Keys A");
    const int b = factory->addPort(true, "Keys B");
    startManager();
    const int keysA = recordOf("Keys A", true);
    auto box = makeBox(true);
    box->requestSelectFromAlias();
    box->setSelectedId(keysA + 1, juce::sendNotificationSync);

    factory->removePort(b);
    MidiManager::getInstance()->updateDevices(true, true);   // notifies on this thread: rebuilds now
    EXPECT_EQ(box->getNumItems(), 2);
    EXPECT_EQ(box->getSelectedId(), keysA + 1);
}

TEST_F(ComboBoxMidiTest, DestroyingABoxWithARebuildWaitingIsSafeAndTheRequestDoesNothing)
{
    startManager();
    for (int i = 0; i < 10; ++i)
    {
        auto box = makeBox(true);
        std::thread notifier([&] { box->deviceListChanged(); });
        notifier.join();
        box.reset();
    }
    // The detached requests arrive now and must not reach a deleted box.
    JuceTestSupport::pumpFor(50);
    auto survivor = makeBox(true);
    survivor->requestSelectFromAlias();
    EXPECT_EQ(survivor->getNumItems(), 1);
}

TEST_F(ComboBoxMidiTest, ABoxDestroyedAfterTheManagerNeverCreatesItAgain)
{
    startManager();
    auto box = makeBox(true);
    box->requestSelectFromAlias();
    AutoDelete::deleteAll();
    ASSERT_EQ(MidiManager::peekInstance(), nullptr);
    box->deviceListChanged();
    box.reset();
    EXPECT_EQ(MidiManager::peekInstance(), nullptr);
}
} // namespace

TEST_F(ComboBoxMidiTest, ABackendsNoteOnAPortFollowsItsNameInTheItemText)
{
    factory->addPort(true, "LUMO In");
    MidiManager& manager = startManager();
    MidiManagerDev* record = manager.getDevice(recordOf("LUMO In", true), true);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(ComboBoxMidi::itemTextOf(*record), "LUMO In");
    // A backend's descriptor with a note, as the Linux backends make for the program's own ports.
    struct NotedDescriptor : MidiDeviceDescriptor
    {
        explicit NotedDescriptor(const MidiDeviceDescriptor& d) : MidiDeviceDescriptor(d) { altName = "noted"; }
        std::unique_ptr<MidiDeviceDescriptor> clone() const override { return std::make_unique<NotedDescriptor>(*this); }
        BString displayNote() const override { return "this program's own port"; }
    };
    record->setDescriptor(NotedDescriptor(*record->copyDescriptor()).clone().get());
    EXPECT_EQ(ComboBoxMidi::itemTextOf(*record), juce::String::fromUTF8("LUMO In \xe2\x80\x94 this program's own port"));
    EXPECT_EQ(record->displayName(), "LUMO In");
}
