// The main panel without a window: display hand-over from other threads, channel filtering,
// program names on the display, the editor following the module, the dump option, hit areas.
#include "PanelTestSupport.h"

#include "dialogs/ProgramEditorDialogContent.h"

#include <gtest/gtest.h>

#include "support/RealtimeGuard.h"

#include <atomic>
#include <cstring>
#include <thread>

using namespace PanelTestSupport;
using JuceTestSupport::pumpUntil;

namespace
{

class PanelTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        panel = makePanel(temp.file("settings.qrcf"));
    }

    void selectChannelItem(int itemId)
    {
        panel->getChannelCombo()->setSelectedId(itemId, juce::sendNotificationSync);
    }

    JuceTestSupport::TempFolder temp;
    std::unique_ptr<AppContentPanel> panel;
};

TEST_F(PanelTest, StartsShowingVersionAboveOneOne)
{
    EXPECT_TRUE(displayShows(*panel, "VERSION", "1.1"));
    EXPECT_EQ(panel->getCurrentProgram(), -1);
}

TEST_F(PanelTest, DisplayMessageFromTheMidiThreadShowsTheDecodedLines)
{
    std::thread midi([&] { deliver(*panel, displayMessage("HELLO", "WORLD 42")); });
    midi.join();
    EXPECT_TRUE(displayShows(*panel, "HELLO   ", "WORLD 42"));
}

TEST_F(PanelTest, EmptyDisplayMessageShowsASpaceOnTopAndNothingBelow)
{
    deliver(*panel, { 0xF0, 0x77, 0x75, 0xF7 });
    EXPECT_TRUE(displayShows(*panel, " ", ""));
}

TEST_F(PanelTest, MalformedDisplayMessagesChangeNothing)
{
    ASSERT_TRUE(displayShows(*panel, "VERSION", "1.1"));
    auto wrongEnd = displayMessage("ABC", "DEF");
    wrongEnd[wrongEnd.size() - 2] = 0x74;
    deliver(*panel, wrongEnd);
    auto wrongMaker = displayMessage("ABC", "DEF");
    wrongMaker[1] = 0x78;
    deliver(*panel, wrongMaker);
    deliver(*panel, { 0xF0 });
    deliver(*panel, { 0xC0, 0x01, 0x02 });
    JuceTestSupport::pumpFor(100);
    EXPECT_EQ(panel->getTopLineText(), "VERSION");
    EXPECT_EQ(panel->getBottomLineText(), "1.1");
}

TEST_F(PanelTest, PairsFromTwoThreadsAreNeverMixedAndTheLastPairWins)
{
    // Each pair carries one number on both lines; a shown mixture of two pairs would differ.
    constexpr int perThread = 2000;
    std::atomic<bool> mixed { false };
    std::atomic<int> running { 2 };
    auto sender = [&](int offset) {
        for (int i = 0; i < perThread; ++i)
        {
            const auto number = juce::String(offset + i).paddedLeft('0', 5);
            panel->setDisplayText(BString(number.toRawUTF8()), BString(number.toRawUTF8()));
        }
        --running;
    };
    std::thread first(sender, 10000);
    std::thread second(sender, 50000);
    while (running.load() > 0)
    {
        JuceTestSupport::pumpFor(1);
        const auto top = panel->getTopLineText();
        if (top != "VERSION" && top != panel->getBottomLineText())
            mixed = true;
    }
    first.join();
    second.join();
    panel->setDisplayText(BString("LAST"), BString("PAIR"));
    EXPECT_TRUE(displayShows(*panel, "LAST", "PAIR"));
    EXPECT_FALSE(mixed.load());
}

TEST_F(PanelTest, ProgramChangeCountsOnlyOnTheChosenChannel)
{
    panel->getProgramNames().setName(5, BString("CHANNEL TEN NAME"));
    selectChannelItem(10);   // "Channel 10"
    EXPECT_EQ(panel->getReceiveChannel(), 9);

    deliver(*panel, { 0xC3, 0x05 });
    JuceTestSupport::pumpFor(50);
    EXPECT_EQ(panel->getTopLineText(), "VERSION");

    std::thread midi([&] { deliver(*panel, { 0xC9, 0x05 }); });
    midi.join();
    EXPECT_TRUE(displayShows(*panel, "CHANNEL ", "TEN NAME"));
    EXPECT_EQ(panel->getCurrentProgram(), 5);
}

TEST_F(PanelTest, OmniAcceptsProgramChangesOnEveryChannel)
{
    selectChannelItem(10);
    selectChannelItem(-1);   // "OMNI"
    EXPECT_EQ(panel->getReceiveChannel(), -1);
    for (std::uint8_t status = 0xC0; status <= 0xCF; ++status)
    {
        const auto program = static_cast<std::uint8_t>(status - 0xC0);
        deliver(*panel, { status, program });
        const auto number = juce::String(program + 1).paddedLeft('0', 3);
        ASSERT_TRUE(displayShows(*panel, "PROGRAM ", number)) << "status " << int(status);
    }
}

TEST_F(PanelTest, ProgramWithoutNameShowsItsDefaultName)
{
    deliver(*panel, { 0xC0, 0x00 });
    EXPECT_TRUE(displayShows(*panel, "PROGRAM ", "001"));
    deliver(*panel, { 0xC0, 0x7F });
    EXPECT_TRUE(displayShows(*panel, "PROGRAM ", "128"));
    EXPECT_TRUE(panel->getProgramNames().name(127).IsEmpty());
}

TEST_F(PanelTest, LongNameShowsItsFirstSixteenCharacters)
{
    panel->getProgramNames().setName(3, BString("ABCDEFGHIJKLMNOPQRST"));
    deliver(*panel, { 0xC0, 0x03 });
    EXPECT_TRUE(displayShows(*panel, "ABCDEFGH", "IJKLMNOP"));
}

TEST_F(PanelTest, DisplayMessageEndsTheProgramState)
{
    deliver(*panel, { 0xC0, 0x07 });
    ASSERT_TRUE(pumpUntil([&] { return panel->getCurrentProgram() == 7; }));
    deliver(*panel, displayMessage("TEXT", ""));
    EXPECT_TRUE(displayShows(*panel, "TEXT    ", ""));
    EXPECT_EQ(panel->getCurrentProgram(), -1);
}

TEST_F(PanelTest, EditorFollowsProgramChangesFromTheMidiThreadInOrder)
{
    std::thread midi([&] {
        for (std::uint8_t program : { 3, 9, 40, 5 })
            deliver(*panel, { 0xC0, program });
    });
    midi.join();
    auto& editor = panel->getProgramEditor();
    ASSERT_TRUE(pumpUntil([&] {
        return editor.getContent() != nullptr && editor.getContent()->getCurrentIndex() == 5;
    }));
    JuceTestSupport::pumpFor(50);
    EXPECT_EQ(editor.getContent()->getProgramCombo().getSelectedId(), 6);
    EXPECT_EQ(panel->getCurrentProgram(), 5);
}

TEST_F(PanelTest, ManyProgramChangesBeforeTheMessageThreadRunsLeaveTheLastSelected)
{
    std::thread midi([&] {
        for (int i = 0; i < 1000; ++i)
            deliver(*panel, { 0xC0, static_cast<std::uint8_t>(i % 128) });
        deliver(*panel, { 0xC0, 77 });
    });
    midi.join();
    auto& editor = panel->getProgramEditor();
    ASSERT_TRUE(pumpUntil([&] {
        return editor.getContent() != nullptr && editor.getContent()->getCurrentIndex() == 77;
    }));
    EXPECT_TRUE(displayShows(*panel, "PROGRAM ", "078"));
}

TEST_F(PanelTest, NameEditedWhileAProgramIsCurrentIsShownWhenTheEditorCloses)
{
    deliver(*panel, { 0xC0, 0x04 });
    ASSERT_TRUE(displayShows(*panel, "PROGRAM ", "005"));
    auto& editor = panel->getProgramEditor();
    ASSERT_TRUE(pumpUntil([&] { return editor.getContent() != nullptr && editor.getContent()->getCurrentIndex() == 4; }));

    // The editor runs modally; the user's typing and "OK" arrive as messages meanwhile.
    juce::MessageManager::callAsync([&editor] {
        auto* content = editor.getContent();
        content->getNameEditor().selectAll();
        content->getNameEditor().insertTextAtCaret("RENAMED PROGRAM5");
        content->buttonClicked(&content->getOkButton());
    });
    panel->buttonClicked(panel->getEditButton());   // returns when the editor has closed

    EXPECT_EQ(panel->getProgramNames().name(4), "RENAMED PROGRAM5");
    EXPECT_TRUE(displayShows(*panel, "RENAMED ", "PROGRAM5"));
    EXPECT_EQ(panel->getCurrentProgram(), 4);
}

TEST_F(PanelTest, EditorClosedWithoutACurrentProgramLeavesTheDisplay)
{
    ASSERT_TRUE(displayShows(*panel, "VERSION", "1.1"));
    auto& editor = panel->getProgramEditor();
    juce::MessageManager::callAsync([&editor] {
        auto* content = editor.getContent();
        content->getNameEditor().insertTextAtCaret("X");
        content->buttonClicked(&content->getCancelButton());
    });
    panel->buttonClicked(panel->getEditButton());
    JuceTestSupport::pumpFor(50);
    EXPECT_EQ(panel->getTopLineText(), "VERSION");
    EXPECT_EQ(panel->getBottomLineText(), "1.1");
    EXPECT_TRUE(panel->getProgramNames().name(0).IsEmpty());
}

TEST_F(PanelTest, ClicksOnTheDisplayReachTheEditButtonAndTheCrossTheCloseButton)
{
    panel->setVisible(true);
    // Any point of the display window must open the editor, not land in a text field.
    for (auto point : { juce::Point<int>(22, 96), juce::Point<int>(320, 150), juce::Point<int>(320, 260),
                        juce::Point<int>(620, 320) })
        EXPECT_EQ(panel->getComponentAt(point), panel->getEditButton()) << point.toString();
    EXPECT_EQ(panel->getComponentAt(juce::Point<int>(610, 20)), panel->getCloseButton());
    EXPECT_EQ(panel->getComponentAt(juce::Point<int>(100, 30)), panel->getDeviceButton(0));
    EXPECT_EQ(panel->getComponentAt(juce::Point<int>(530, 30)), panel->getDeviceButton(1));
    auto* atCombo = panel->getComponentAt(juce::Point<int>(600, 465));
    EXPECT_TRUE(atCombo == panel->getChannelCombo() || panel->getChannelCombo()->isParentOf(atCombo));
}

TEST_F(PanelTest, DisplayLinesUseAmberTextOnATransparentField)
{
    for (auto* line : { panel->getTopLine(), panel->getBottomLine() })
    {
        EXPECT_EQ(line->findColour(juce::TextEditor::textColourId).getARGB(), 0xFFFFBB00u);
        EXPECT_EQ(line->findColour(juce::TextEditor::backgroundColourId).getAlpha(), 0);
        EXPECT_TRUE(line->isReadOnly());
        EXPECT_EQ(line->getWidth(), 600);
        EXPECT_EQ(line->getHeight(), 113);
    }
    EXPECT_EQ(panel->getTopLine()->getY(), 104);
    EXPECT_EQ(panel->getBottomLine()->getY(), 201);
}

TEST_F(PanelTest, DisplayTypefaceIsMonospaced)
{
    // A proportional face would make "11111111" much narrower than "WWWWWWWW".
    const juce::Font font(AppContentPanel::chooseDisplayTypeface(), 120.0f, juce::Font::plain);
    EXPECT_NEAR(font.getStringWidthFloat("11111111"), font.getStringWidthFloat("WWWWWWWW"), 1.0f);
}

TEST(TooltipWindow, NeverLowerThanNineteenPixels)
{
    JuceTestSupport::initialiseOnce();
    AppContentPanel::TooltipWindowHeightCorrected tooltip;
    tooltip.setBounds(10, 20, 120, 12);
    EXPECT_EQ(tooltip.getBounds(), juce::Rectangle<int>(10, 20, 120, 19));
    tooltip.setBounds(10, 20, 120, 30);
    EXPECT_EQ(tooltip.getHeight(), 30);
}

TEST(PanelDump, OptionInAnyLetterCaseRecordsEveryMessageInArrivalOrder)
{
    JuceTestSupport::TempFolder temp;
    const auto previous = juce::File::getCurrentWorkingDirectory();
    temp.get().setAsCurrentWorkingDirectory();
    {
        auto panel = makePanel(temp.file("settings.qrcf"), "--quiet /DuMp");
        ASSERT_TRUE(panel->isDumping());
        const auto display = displayMessage("AB", "CD");
        deliver(*panel, display);
        deliver(*panel, { 0xC1, 0x05 });
        deliver(*panel, { 0xF8 });
        panel->shutdownContent();
        EXPECT_FALSE(panel->isDumping());

        juce::MemoryBlock dumped;
        ASSERT_TRUE(temp.file("LUMO_dump.syx").loadFileAsData(dumped));
        std::vector<std::uint8_t> expected(display);
        expected.insert(expected.end(), { 0xC1, 0x05, 0xF8 });
        ASSERT_EQ(dumped.getSize(), expected.size());
        EXPECT_EQ(std::memcmp(dumped.getData(), expected.data(), expected.size()), 0);
    }
    previous.setAsCurrentWorkingDirectory();
}

TEST(PanelDump, TheDriversThreadNeitherAllocatesNorLocksNorWaitsWhileThePanelDumpsAndDecodes)
{
    if (! lumo_test::RealtimeGuard::available())
        GTEST_SKIP() << "the sanitizer owns the allocation and lock functions";
    JuceTestSupport::TempFolder temp;
    const auto previous = juce::File::getCurrentWorkingDirectory();
    temp.get().setAsCurrentWorkingDirectory();
    {
        auto panel = makePanel(temp.file("settings.qrcf"), "-dump");
        ASSERT_TRUE(panel->isDumping());
        const auto display = displayMessage("RT", "SAFE");
        const std::uint8_t program[2] = { 0xC0, 0x07 };
        std::vector<std::uint8_t> sysex(3000, 0x11);
        sysex.front() = 0xF0;
        sysex.back() = 0xF7;
        lumo_test::RealtimeGuard::reset();
        std::thread driver([&] {
            // As a JACK process cycle hands them over: display message, Program Change, a long SysEx.
            const lumo_test::RealtimeGuard::Scope realtime;
            int handled = 0;
            for (int i = 0; i < 100; ++i)
            {
                panel->midiDataReceived(0, i, display.data(), static_cast<int>(display.size()), &handled);
                panel->midiDataReceived(0, i, program, 2, &handled);
            }
            panel->midiDataReceived(0, 0, sysex.data(), static_cast<int>(sysex.size()), &handled);
        });
        driver.join();
        const auto counts = lumo_test::RealtimeGuard::counts();
        EXPECT_TRUE(counts.clean()) << counts;
        EXPECT_TRUE(displayShows(*panel, "PROGRAM ", "008"));
        panel->shutdownContent();
        juce::MemoryBlock dumped;
        ASSERT_TRUE(temp.file("LUMO_dump.syx").loadFileAsData(dumped));
        EXPECT_EQ(dumped.getSize(), 100 * (display.size() + 2) + sysex.size()) << "and nothing is lost";
    }
    previous.setAsCurrentWorkingDirectory();
}

TEST(PanelDump, WithoutTheOptionNoFileIsWritten)
{
    JuceTestSupport::TempFolder temp;
    const auto previous = juce::File::getCurrentWorkingDirectory();
    temp.get().setAsCurrentWorkingDirectory();
    {
        auto panel = makePanel(temp.file("settings.qrcf"), "dump /d -du");
        EXPECT_FALSE(panel->isDumping());
        deliver(*panel, { 0xC1, 0x05 });
        panel->shutdownContent();
    }
    EXPECT_FALSE(temp.file("LUMO_dump.syx").exists());
    previous.setAsCurrentWorkingDirectory();
}

} // namespace
