// The MIDI Port Settings dialog: which aliases it offers, how it pairs and orders them, its
// layout, and what "OK" and "Cancel" write.
#include "gui/MidiGuiFixture.h"

#include "dialogs/AliasChooserDialog.h"
#include "dialogs/AliasChooserDialogContent.h"
#include "midi/TMidiAlias.h"
#include "midi/TMidiAliasChangeListener.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{
struct CountingAliasListener : TMidiAliasChangeListener
{
    void aliasesChanged() override { ++calls; }
    int calls = 0;
};

class AliasChooserDialogTest : public MidiGuiFixture
{
protected:
    void SetUp() override
    {
        MidiGuiFixture::SetUp();
        factory->addPort(true, "Keys A");
        factory->addPort(true, "Keys B");
        factory->addPort(false, "Synth X");
        startManager();
        dialog = std::make_unique<AliasChooserDialog>(nullptr);
        dialog->onlyMarkedAliases = false;
        dialog->offerDontAskAgain = false;
        dialog->setupWindow();
        dialog->setContentOwned(dialog->createContentComponent(), false);
    }

    void TearDown() override
    {
        dialog.reset();
        MidiGuiFixture::TearDown();
    }

    TMidiAlias* alias(const char* name, int direction, const char* device = "")
    {
        TMidiAlias* a = aliases().getAlias(name, direction, true, -1);
        aliases().setAlias(name, direction, name, BString(device), false);
        return a;
    }

    AliasChooserDialogContent& content() { return *dialog->getContent(); }

    // Builds and lays out the rows as an opening of the dialog does, without the modal loop.
    void open()
    {
        dialog->updateRows();
        content().layoutRows(true);
        JuceTestSupport::pumpFor(20);
    }

    std::vector<std::string> titles()
    {
        std::vector<std::string> result;
        for (int i = 0; i < content().getRowCount(); ++i)
        {
            const AliasRow& row = content().getRow(i);
            std::string title = row.nameLabel->getText().toStdString();
            title += row.input != nullptr ? " [in]" : "";
            title += row.output != nullptr ? " [out]" : "";
            result.push_back(title);
        }
        return result;
    }

    std::unique_ptr<AliasChooserDialog> dialog;
};

TEST_F(AliasChooserDialogTest, TheProgramsTwoAliasesGiveTwoUnpairedRowsInputFirst)
{
    alias("MIDI Thru", TMidiAlias::kOutput);
    alias("MIDI Input", TMidiAlias::kInput);
    open();
    EXPECT_EQ(titles(), (std::vector<std::string> { "MIDI Input: [in]", "MIDI Thru: [out]" }));
    const AliasRow& first = content().getRow(0);
    EXPECT_TRUE(first.inputLabel->isVisible());
    EXPECT_EQ(first.inputLabel->getText(), "INPUT:");
    EXPECT_FALSE(first.outputCombo->isVisible());
    EXPECT_EQ(content().getRow(1).outputLabel->getText(), "OUTPUT:");
    EXPECT_EQ(first.nameLabel->findColour(juce::Label::textColourId), juce::Colour(0xffffffb3));
    EXPECT_EQ(first.inputCombo->findColour(juce::ComboBox::backgroundColourId), juce::Colour(0xff800808));
}

TEST_F(AliasChooserDialogTest, AliasesPairByBaseNameAndRowsSortIgnoringCase)
{
    alias("LUMO In", TMidiAlias::kInput);
    alias("To Synth", TMidiAlias::kOutput);
    alias("zeta", TMidiAlias::kInput);
    alias("LUMO Out", TMidiAlias::kOutput);
    alias("From Synth", TMidiAlias::kInput);
    alias("Pad Input", TMidiAlias::kInput);
    alias("pad in", TMidiAlias::kInput);   // same base name, same direction: no pair
    open();
    EXPECT_EQ(titles(), (std::vector<std::string> { "LUMO: [in] [out]", "pad in: [in]", "Pad Input: [in]",
                                                    "Synth: [in] [out]", "zeta: [in]" }));
}

TEST_F(AliasChooserDialogTest, AliasesNamingTheirOwnDeviceHiddenOnesAndEmptyNamesAreNotOffered)
{
    // Every device also has an automatic alias of its own name, bound to it.
    alias("Own", TMidiAlias::kInput, "OWN");
    alias("Hidden", TMidiAlias::kInput)->setFlag(TMidiAlias::kHidden, true);
    alias("Shown", TMidiAlias::kOutput, "Synth X");
    open();
    EXPECT_EQ(titles(), (std::vector<std::string> { "Shown: [out]" }));
    EXPECT_FALSE(content().getNoPortsLabel().isVisible());
}

TEST_F(AliasChooserDialogTest, WithoutAliasesOnlyTheNoPortsLineShowsAndOkWritesNothing)
{
    CountingAliasListener listener;
    aliases().addListener(&listener);
    open();
    EXPECT_EQ(content().getRowCount(), 0);
    EXPECT_TRUE(content().getNoPortsLabel().isVisible());
    EXPECT_EQ(content().getNoPortsLabel().getText(), "There are no MIDI ports selected.");
    content().buttonClicked(&content().getOkButton());
    EXPECT_EQ(listener.calls, 0);
    aliases().removeListener(&listener);
}

TEST_F(AliasChooserDialogTest, LayoutFollowsTheCoordinatesAndTheLastRowHasNoLine)
{
    alias("MIDI Input", TMidiAlias::kInput);
    alias("MIDI Thru", TMidiAlias::kOutput);
    content().setSize(350, 250);
    open();
    const int r = 350 - content().getViewport().getScrollBarThickness();
    const AliasRow& first = content().getRow(0);
    EXPECT_EQ(first.nameLabel->getBounds(), juce::Rectangle<int>(10, 10, r - 20, 24));
    EXPECT_EQ(first.inputCombo->getBounds(), juce::Rectangle<int>(75, 34, r - 85, 24));
    EXPECT_EQ(first.rowSeparator->getBounds(), juce::Rectangle<int>(10, 63, r - 20, 1));
    EXPECT_TRUE(first.rowSeparator->isVisible());
    EXPECT_FALSE(content().getRow(1).rowSeparator->isVisible());
    EXPECT_EQ(content().getOkButton().getBounds(), juce::Rectangle<int>(170, 210, 80, 30));
    EXPECT_EQ(content().getRowsHolder().getHeight(), 10 + 2 * 58);
    // The window shrinks to the rows: the viewport (160 high) has more room than they need.
    EXPECT_EQ(dialog->getContentHeight(), 250 - (160 - 126));
}

TEST_F(AliasChooserDialogTest, ANarrowContentLaysRowsOutTwoHundredPixelsWide)
{
    alias("MIDI Input", TMidiAlias::kInput);
    content().setSize(120, 250);
    open();
    EXPECT_EQ(content().getRowsHolder().getWidth(), 200);
    EXPECT_EQ(content().getRow(0).nameLabel->getWidth(), 180);
}

TEST_F(AliasChooserDialogTest, OkAppliesEveryRowInOneBatchAndCancelTouchesNothing)
{
    TMidiAlias* input = alias("MIDI Input", TMidiAlias::kInput);
    TMidiAlias* thru = alias("MIDI Thru", TMidiAlias::kOutput);
    open();
    const int keysB = recordOf("Keys B", true);
    const int synth = recordOf("Synth X", false);
    content().getRow(0).inputCombo->setSelectedId(keysB + 1, juce::sendNotificationSync);
    content().getRow(1).outputCombo->setSelectedId(synth + 1, juce::sendNotificationSync);

    CountingAliasListener listener;
    aliases().addListener(&listener);
    content().buttonClicked(&content().getCancelButton());
    EXPECT_EQ(listener.calls, 0);
    EXPECT_EQ(input->deviceName(), "");

    content().buttonClicked(&content().getOkButton());
    EXPECT_EQ(listener.calls, 1);
    EXPECT_EQ(input->deviceName(), "Keys B");
    EXPECT_EQ(thru->deviceName(), "Synth X");
    aliases().removeListener(&listener);
}

TEST_F(AliasChooserDialogTest, ApplyingAfterShutdownThrowsAndLeavesNoBatchOpen)
{
    alias("MIDI Input", TMidiAlias::kInput);
    open();
    AutoDelete::deleteAll();
    EXPECT_THROW(content().applyAssignments(), std::exception);
    // The click keeps the failure from the message loop and the dialog open (it shows the text
    // where there is a screen).
    dialog->setVisible(true);
    content().buttonClicked(&content().getOkButton());
    JuceTestSupport::pumpFor(20);
    EXPECT_TRUE(dialog->isVisible());

    // With an owner that reports errors, the failure goes there and to no box of its own.
    std::vector<std::string> reported;
    dialog->reportError = [&](const BString& text) { reported.push_back(text.CStr()); };
    content().buttonClicked(&content().getOkButton());
    ASSERT_EQ(reported.size(), 1u);
    EXPECT_FALSE(reported[0].empty());
    EXPECT_TRUE(dialog->isVisible());
    juce::ModalComponentManager::getInstance()->cancelAllModalComponents();
}

TEST_F(AliasChooserDialogTest, ReopeningRebuildsRowsForAliasesAddedMeanwhile)
{
    alias("MIDI Input", TMidiAlias::kInput);
    open();
    ASSERT_EQ(content().getRowCount(), 1);
    alias("MIDI Thru", TMidiAlias::kOutput);
    open();
    EXPECT_EQ(content().getRowCount(), 2);
}
} // namespace

namespace
{
TEST_F(AliasChooserDialogTest, TheSizeLeftByTheUserIsUsedForTheNextOpening)
{
    alias("MIDI Input", TMidiAlias::kInput);
    for (int i = 0; i < 12; ++i)
        alias(("Port " + std::to_string(i)).c_str(), TMidiAlias::kOutput);
    open();
    dialog->setVisible(true);
    const auto border = dialog->getContentComponentBorder();
    dialog->setSize(500 + border.getLeftAndRight(), 300 + border.getTopAndBottom());
    dialog->setVisible(false);
    EXPECT_EQ(dialog->getRememberedWidth(), 500);
    EXPECT_EQ(dialog->getRememberedHeight(), 300);

    open();
    dialog->sizeAndCentre();
    EXPECT_EQ(content().getWidth(), 500);
    // Thirteen rows need more than the remembered height: it is kept.
    EXPECT_EQ(content().getHeight(), 300);
}
} // namespace
