// The panel's settings passes: round trips, what survives a save, and settings files of any
// content (which must never stop the panel from starting).
#include "PanelTestSupport.h"

#include "app/WindowPosition.h"
#include "base/TIniFile.h"

#include <gtest/gtest.h>

using namespace PanelTestSupport;
using JuceTestSupport::pumpUntil;

namespace
{

class PanelSettingsTest : public ::testing::Test
{
protected:
    juce::File settingsFile() const { return temp.file("lumo.qrcf"); }

    void writeSettings(const juce::String& text) { ASSERT_TRUE(settingsFile().replaceWithText(text, false, false, "\n")); }
    void writeSettings(const void* data, size_t size) { ASSERT_TRUE(settingsFile().replaceWithData(data, size)); }

    std::unique_ptr<AppContentPanel> start()
    {
        auto panel = makePanel(settingsFile());
        JuceTestSupport::pumpFor(20);   // the combo box's change notification
        return panel;
    }

    BString stored(const char* section, const char* key)
    {
        TIniFile file(BString(settingsFile().getFullPathName().toRawUTF8()));
        file.Load();
        return file.ReadString(section, key, BString("<absent>"));
    }

    static juce::Rectangle<int> firstDisplay() { return firstDisplayArea(); }

    JuceTestSupport::TempFolder temp;
};

TEST_F(PanelSettingsTest, NamesChannelAndPositionSurviveARestart)
{
    {
        auto panel = start();
        panel->getProgramNames().setName(5, BString("ABC"));
        panel->getProgramNames().setName(127, BString("LAST ONE"));
        panel->getChannelCombo()->setSelectedId(10, juce::sendNotificationSync);
        panel->setTopLeftPosition(12, 34);
        panel->shutdownContent();
    }
    EXPECT_EQ(stored("Current", "ReceiveChannel"), "9");
    EXPECT_EQ(stored("Current", "MainLeft"), "12");
    EXPECT_EQ(stored("Current", "MainTop"), "34");
    EXPECT_EQ(stored("Program Names", "Program5"), "ABC");
    EXPECT_EQ(stored("Program Names", "Program6"), "<absent>");

    auto panel = start();
    EXPECT_EQ(panel->getProgramNames().name(5), "ABC");
    EXPECT_EQ(panel->getProgramNames().name(127), "LAST ONE");
    EXPECT_TRUE(panel->getProgramNames().name(6).IsEmpty());
    EXPECT_EQ(panel->getReceiveChannel(), 9);
    EXPECT_EQ(panel->getChannelCombo()->getText(), "Channel 10");
    EXPECT_EQ(panel->getPosition(), juce::Point<int>(12, 34));
}

TEST_F(PanelSettingsTest, OtherSectionsAndLinesSurviveTheSave)
{
    writeSettings("[MIDI.alias]\nMIDI Input=Some Keyboard\n; a comment\n\n"
                  "[Current]\nMainLeft=100\nMainTop=50\nSomethingElse=kept\n"
                  "[Program Names]\nProgram5=ABC\n");
    {
        auto panel = start();
        panel->shutdownContent();
    }
    EXPECT_EQ(stored("MIDI.alias", "MIDI Input"), "Some Keyboard");
    EXPECT_EQ(stored("Current", "SomethingElse"), "kept");
    EXPECT_EQ(stored("Program Names", "Program5"), "ABC");
    EXPECT_TRUE(settingsFile().loadFileAsString().contains("; a comment"));
    EXPECT_EQ(stored("Current", "ReceiveChannel"), "-1");
}

TEST_F(PanelSettingsTest, OnlyProgramFiveNamedShowsItAndDefaultsElsewhere)
{
    writeSettings("[Program Names]\nProgram5=ABC\n");
    auto panel = start();
    deliver(*panel, { 0xC0, 0x05 });
    EXPECT_TRUE(displayShows(*panel, "ABC", ""));
    deliver(*panel, { 0xC0, 0x06 });
    EXPECT_TRUE(displayShows(*panel, "PROGRAM ", "007"));
}

TEST_F(PanelSettingsTest, StoredChannelNineSelectsChannelTenAndFiltersByIt)
{
    writeSettings("[Current]\nReceiveChannel=9\n");
    auto panel = start();
    EXPECT_EQ(panel->getChannelCombo()->getSelectedId(), 10);
    EXPECT_EQ(panel->getReceiveChannel(), 9);
    deliver(*panel, { 0xC0, 0x01 });
    deliver(*panel, { 0xC9, 0x02 });
    EXPECT_TRUE(displayShows(*panel, "PROGRAM ", "003"));
}

TEST_F(PanelSettingsTest, ChannelValuesTheListCannotShowMeanOmni)
{
    for (const char* value : { "20", "abc", "", "16", "2147483647", "-1", "-7" })
    {
        writeSettings(juce::String("[Current]\nReceiveChannel=") + value + "\n");
        auto panel = start();
        EXPECT_EQ(panel->getReceiveChannel(), -1) << "value " << value;
        const bool omniShown = panel->getChannelCombo()->getText() == "OMNI";
        const bool nothingShown = panel->getChannelCombo()->getSelectedId() == 0;
        EXPECT_TRUE(omniShown || nothingShown) << "value " << value;
        panel->shutdownContent();
        EXPECT_EQ(stored("Current", "ReceiveChannel"), "-1") << "value " << value;
    }
}

TEST_F(PanelSettingsTest, ChannelAboveSixteenLeavesTheListEmpty)
{
    writeSettings("[Current]\nReceiveChannel=20\n");
    auto panel = start();
    EXPECT_EQ(panel->getChannelCombo()->getSelectedId(), 0);
    EXPECT_EQ(panel->getChannelCombo()->getText(), "");
}

TEST_F(PanelSettingsTest, PositionIsKeptWhileAThirdOfTheWindowIsOnTheFirstDisplay)
{
    const auto display = firstDisplay();
    writeSettings("[Current]\nMainLeft=5000\nMainTop=-200\n");
    auto panel = start();
    EXPECT_EQ(panel->getRight(), display.getRight());
    // 494 / 3 = 164: -200 lies beyond it, so the window is pushed to the top edge.
    EXPECT_EQ(panel->getY(), display.getY());

    writeSettings("[Current]\nMainLeft=-200\nMainTop=-150\n");
    panel = start();
    EXPECT_EQ(panel->getX(), -200);
    EXPECT_EQ(panel->getY(), -150);
}

TEST_F(PanelSettingsTest, InvalidPositionCentresOnThatAxisOnly)
{
    const auto display = firstDisplay();
    writeSettings("[Current]\nMainLeft=40\nMainTop=12ab\n");
    auto panel = start();
    EXPECT_EQ(panel->getX(), 40);
    EXPECT_EQ(panel->getY(), display.getY() + display.getHeight() / 2 - panel->getHeight() / 2);
}

TEST_F(PanelSettingsTest, NameClearedInTheRunIsNotWrittenBackAsADefault)
{
    writeSettings("[Program Names]\nProgram5=ABC\nProgram6=DEF\n");
    {
        auto panel = start();
        panel->getProgramNames().setName(6, BString());
        panel->shutdownContent();
    }
    EXPECT_EQ(stored("Program Names", "Program5"), "ABC");
    EXPECT_EQ(stored("Program Names", "Program6"), "<absent>");
    EXPECT_TRUE(stored("Program Names", "Program7") == "<absent>");
}

// Settings files of any content: the panel starts with defaults and the next save leaves a
// readable file holding what this run had.
struct MalformedCase
{
    const char* label;
    std::string content;
};

class MalformedSettingsTest : public PanelSettingsTest,
                              public ::testing::WithParamInterface<MalformedCase>
{
};

TEST_P(MalformedSettingsTest, PanelStartsWithDefaultsAndTheNextSaveIsReadable)
{
    const auto& content = GetParam().content;
    writeSettings(content.data(), content.size());
    {
        auto panel = start();
        EXPECT_TRUE(displayShows(*panel, "VERSION", "1.1"));
        EXPECT_EQ(panel->getReceiveChannel(), -1);
        deliver(*panel, { 0xC0, 0x02 });
        EXPECT_TRUE(displayShows(*panel, "PROGRAM ", "003"));
        panel->getProgramNames().setName(2, BString("AFTER"));
        panel->shutdownContent();
    }
    EXPECT_EQ(stored("Program Names", "Program2"), "AFTER");
    EXPECT_EQ(stored("Current", "ReceiveChannel"), "-1");

    auto again = start();
    EXPECT_EQ(again->getProgramNames().name(2), "AFTER");
}

std::string binaryGarbage()
{
    std::string data;
    juce::Random random(12345);
    for (int i = 0; i < 70000; ++i)
        data.push_back(static_cast<char>(random.nextInt(256)));
    return data;
}

INSTANTIATE_TEST_SUITE_P(AnyContent, MalformedSettingsTest, ::testing::Values(
    MalformedCase { "xml", "<?xml version=\"1.0\"?>\n<settings><Program2>X</Program2></settings>\n" },
    MalformedCase { "xmlUpperCaseAfterBlanks", "  \n\t<?XML version='1.0'?><a/>" },
    MalformedCase { "json", "{\"Program Names\": {\"Program2\": \"X\"}}" },
    MalformedCase { "byteOrderMark", "\xEF\xBB\xBF[Program Names]\nProgram2=HIDDEN\n" },
    MalformedCase { "binary", binaryGarbage() },
    MalformedCase { "nulBytes", std::string("[Current]\0ReceiveChannel=3\n", 27) },
    MalformedCase { "empty", "" },
    MalformedCase { "headersOnly", "[]\n[\n]\n[ab\n[Current\n" },
    MalformedCase { "hugeLine", "[Current]\nReceiveChannel=" + std::string(100000, '7') + "\n" },
    MalformedCase { "quotesAndEscapes", "[Current]\n\"ReceiveChannel\\\"=5\nReceiveChannel=\"unterminated\n" }),
    [](const ::testing::TestParamInfo<MalformedCase>& info) { return std::string(info.param.label); });

} // namespace
