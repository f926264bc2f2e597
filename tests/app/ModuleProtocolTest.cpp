#include "app/protocol/ModuleProtocol.h"
#include "app/protocol/ProgramNameTable.h"

#include "RecordingDisplay.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

namespace
{
using Bytes = std::vector<std::uint8_t>;

// A display message with the given code fields between F0 77 and 75 F7.
Bytes displayMessage(const Bytes& codes, std::uint8_t endMarker = 0x75, std::uint8_t manufacturer = 0x77)
{
    Bytes message;
    message.reserve(codes.size() + 4);
    message.push_back(0xF0);
    message.push_back(manufacturer);
    for (const std::uint8_t code : codes)
        message.push_back(code);
    message.push_back(endMarker);
    message.push_back(0xF7);
    return message;
}

// Codes for upper-case letters, digits (first of each pair) and spaces.
Bytes codesFor(const std::string& text)
{
    Bytes codes;
    for (const char c : text)
    {
        if (c >= 'A' && c <= 'Z')
            codes.push_back(static_cast<std::uint8_t>(c - 64));
        else if (c >= '0' && c <= '9')
            codes.push_back(static_cast<std::uint8_t>(27 + 2 * (c - '0')));
        else
            codes.push_back(0);
    }
    return codes;
}

class ModuleProtocolTest : public ::testing::Test
{
protected:
    std::vector<DisplayEvent> feed(const Bytes& message)
    {
        protocol.handleMessage(message.data(), static_cast<int>(message.size()));
        return display.take();
    }

    static DisplayEvent text(const std::string& top, const std::string& bottom) { return {top, bottom, -1}; }
    static DisplayEvent program(const std::string& top, const std::string& bottom, int p) { return {top, bottom, p}; }

    RecordingDisplay display;
    ProgramNameTable names;
    ModuleProtocol protocol{display, names};
};
} // namespace

// ---------------------------------------------------------------------------------------------
// Character set

TEST(DisplayCharacterSet, EveryCodeMapsToTheModulesCharacter)
{
    const std::string expectedLow = std::string(" ") + "ABCDEFGHIJKLMNOPQRSTUVWXYZ"   // 0, 1..26
        + "00112233445566778899"                                                    // 27..46
        + "+-*/\\><._|||"                                                            // 47..58
        + std::string(23, ' ')                                                       // 59..81
        + std::string(18, 'e')                                                       // 82..99
        + "0123456789"                                                               // 100..109
        + std::string(18, 'e');                                                      // 110..127
    ASSERT_EQ(expectedLow.size(), 128u);
    for (int code = 0; code < 256; ++code)
    {
        const char expected = code < 128 ? expectedLow[static_cast<std::size_t>(code)] : 'e';
        const BString decoded = decodeDisplayChar(static_cast<std::uint8_t>(code));
        ASSERT_EQ(decoded.Length(), 1) << "code " << code;
        EXPECT_EQ(decoded.CStr()[0], expected) << "code " << code;
        EXPECT_EQ(displayCharFor(static_cast<std::uint8_t>(code)), expected) << "code " << code;
    }
}

TEST(DisplayCharacterSet, RangeBoundariesDecodeToTheirNeighboursCharacters)
{
    const std::vector<std::pair<int, const char*>> cases = {
        {0, " "},   {1, "A"},  {26, "Z"},  {27, "0"}, {28, "0"},  {29, "1"},  {46, "9"},  {47, "+"},
        {48, "-"},  {49, "*"}, {50, "/"},  {51, "\\"}, {52, ">"}, {53, "<"},  {54, "."},  {55, "_"},
        {56, "|"},  {57, "|"}, {58, "|"},  {59, " "}, {70, " "},  {81, " "},  {82, "e"},  {99, "e"},
        {100, "0"}, {109, "9"}, {110, "e"}, {120, "e"}, {127, "e"}, {128, "e"}, {255, "e"},
    };
    for (const auto& [code, expected] : cases)
        EXPECT_STREQ(decodeDisplayChar(static_cast<std::uint8_t>(code)).CStr(), expected) << "code " << code;
}

TEST(DisplayCharacterSet, NoCodeYieldsALowerCaseLetterOtherThanE)
{
    for (int code = 0; code < 256; ++code)
    {
        const char c = displayCharFor(static_cast<std::uint8_t>(code));
        if (c >= 'a' && c <= 'z')
        {
            EXPECT_EQ(c, 'e') << "code " << code;
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Display messages

TEST_F(ModuleProtocolTest, FullMessageSetsBothLines)
{
    const auto events = feed(displayMessage(codesFor("PROGRAM 006     ")));
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0], text("PROGRAM ", "006     "));
}

TEST_F(ModuleProtocolTest, FourByteMessageEmptiesBothLines)
{
    EXPECT_EQ(feed({0xF0, 0x77, 0x75, 0xF7}), std::vector<DisplayEvent>{text("", "")});
}

TEST_F(ModuleProtocolTest, TwelveByteMessageSetsOnlyTheTopLine)
{
    EXPECT_EQ(feed(displayMessage(codesFor("ABCDEFGH"))), std::vector<DisplayEvent>{text("ABCDEFGH", "")});
}

TEST_F(ModuleProtocolTest, ThirteenByteMessageGivesOneBottomCharacter)
{
    EXPECT_EQ(feed(displayMessage(codesFor("ABCDEFGHI"))), std::vector<DisplayEvent>{text("ABCDEFGH", "I")});
}

TEST_F(ModuleProtocolTest, ShortBodiesFillTheTopLineFirst)
{
    EXPECT_EQ(feed(displayMessage(codesFor("A"))), std::vector<DisplayEvent>{text("A", "")});
    EXPECT_EQ(feed(displayMessage(codesFor("ABCDEFG"))), std::vector<DisplayEvent>{text("ABCDEFG", "")});
}

TEST_F(ModuleProtocolTest, LongBodyShowsOnlyFieldsAtTheirFixedOffsets)
{
    // 24 bytes: 20 codes. Offsets 2..9 on top, 10..17 below, the rest is ignored.
    const auto events = feed(displayMessage(codesFor("ABCDEFGHIJKLMNOPQRST")));
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0], text("ABCDEFGH", "IJKLMNOP"));
}

TEST_F(ModuleProtocolTest, MessagesWithWrongMarkersChangeNothing)
{
    const Bytes codes = codesFor("ABCDEFGHIJKLMNOP");
    EXPECT_TRUE(feed(displayMessage(codes, 0x74)).empty()) << "end-of-text marker";
    EXPECT_TRUE(feed(displayMessage(codes, 0x75, 0x78)).empty()) << "manufacturer";
    Bytes noEnd = displayMessage(codes);
    noEnd.back() = 0x00;
    EXPECT_TRUE(feed(noEnd).empty()) << "System Exclusive end";
    Bytes noStart = displayMessage(codes);
    noStart.front() = 0xF1;
    EXPECT_TRUE(feed(noStart).empty()) << "System Exclusive start";
}

TEST_F(ModuleProtocolTest, MessagesShorterThanFourBytesAreNotDisplayMessages)
{
    // F0 77 F7 and the like would overlap their markers.
    EXPECT_TRUE(feed({0xF0, 0x77, 0xF7}).empty());
    EXPECT_TRUE(feed({0xF0, 0xF7}).empty());
    EXPECT_TRUE(feed({0xF0}).empty());
    EXPECT_FALSE(ModuleProtocol::isDisplayMessage(nullptr, 20));
}

TEST_F(ModuleProtocolTest, NullOrEmptyInputIsIgnored)
{
    protocol.handleMessage(nullptr, 4);
    const std::uint8_t bytes[] = {0xF0, 0x77, 0x75, 0xF7};
    protocol.handleMessage(bytes, 0);
    protocol.handleMessage(bytes, -5);
    EXPECT_TRUE(display.take().empty());
}

TEST_F(ModuleProtocolTest, DisplayMessageCodesUseTheCharacterSet)
{
    // 27 and 28 are both "0", 100 is "0" too, 120 is "e", 0 and 70 are spaces.
    const auto events = feed(displayMessage({27, 28, 100, 120, 0, 70, 51, 58, 109, 46, 110, 255, 82, 1, 26, 59}));
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0], text("000e  \\|", "99eeeAZ "));
}

// ---------------------------------------------------------------------------------------------
// Program Changes and the receive channel

TEST_F(ModuleProtocolTest, ProgramChangeOnOmniShowsTheDefaultName)
{
    EXPECT_EQ(feed({0xC3, 0x05}), std::vector<DisplayEvent>{program("PROGRAM ", "006", 5)});
    EXPECT_EQ(feed({0xCF, 0x00}), std::vector<DisplayEvent>{program("PROGRAM ", "001", 0)});
    EXPECT_EQ(feed({0xC0, 0x7F}), std::vector<DisplayEvent>{program("PROGRAM ", "128", 127)});
}

TEST_F(ModuleProtocolTest, ProgramChangeCountsOnlyOnTheReceiveChannel)
{
    protocol.setReceiveChannel(3);
    EXPECT_EQ(feed({0xC3, 0x05}).size(), 1u) << "channel 4";
    EXPECT_TRUE(feed({0xC0, 0x05}).empty()) << "channel 1";
    EXPECT_TRUE(feed({0xC4, 0x05}).empty()) << "channel 5";

    protocol.setReceiveChannel(9);
    EXPECT_EQ(feed({0xC9, 0x01}).size(), 1u) << "channel 10";
    for (std::uint8_t status = 0xC0; status <= 0xCF; ++status)
    {
        if (status != 0xC9)
        {
            EXPECT_TRUE(feed({status, 0x01}).empty()) << std::hex << int(status);
        }
    }

    protocol.setReceiveChannel(ModuleProtocol::kOmni);
    for (std::uint8_t status = 0xC0; status <= 0xCF; ++status)
        EXPECT_EQ(feed({status, 0x01}).size(), 1u) << std::hex << int(status);
}

TEST_F(ModuleProtocolTest, OutOfRangeReceiveChannelsMeanOmni)
{
    for (const int value : {16, 20, -2, -100})
    {
        protocol.setReceiveChannel(value);
        EXPECT_EQ(protocol.getReceiveChannel(), ModuleProtocol::kOmni) << value;
        EXPECT_EQ(feed({0xC7, 0x01}).size(), 1u) << value;
    }
    protocol.setReceiveChannel(15);
    EXPECT_EQ(protocol.getReceiveChannel(), 15);
}

TEST_F(ModuleProtocolTest, OnlyTwoByteProgramChangesCount)
{
    EXPECT_TRUE(feed({0xC0, 0x05, 0x00}).empty()) << "three bytes";
    EXPECT_TRUE(feed({0xC0}).empty()) << "one byte";
    EXPECT_TRUE(feed({0xB0, 0x05}).empty()) << "other status";
    EXPECT_TRUE(feed({0xD0, 0x05}).empty()) << "other status";
}

TEST_F(ModuleProtocolTest, ProgramNumbersAbove127AreIgnored)
{
    EXPECT_TRUE(feed({0xC0, 0x80}).empty());
    EXPECT_TRUE(feed({0xC0, 0xFF}).empty());
    protocol.showProgram(128);
    protocol.showProgram(-1);
    EXPECT_TRUE(display.take().empty());
}

TEST_F(ModuleProtocolTest, StoredNamesAreSplitIntoTwoLinesOfEight)
{
    names.setName(1, BString("ABC"));
    names.setName(2, BString("ABCDEFGHIJKLMNOPQRST"));   // 20 characters
    names.setName(3, BString("12345678"));
    names.setName(4, BString("123456789"));
    EXPECT_EQ(feed({0xC0, 1}), std::vector<DisplayEvent>{program("ABC", "", 1)});
    EXPECT_EQ(feed({0xC0, 2}), std::vector<DisplayEvent>{program("ABCDEFGH", "IJKLMNOP", 2)});
    EXPECT_EQ(feed({0xC0, 3}), std::vector<DisplayEvent>{program("12345678", "", 3)});
    EXPECT_EQ(feed({0xC0, 4}), std::vector<DisplayEvent>{program("12345678", "9", 4)});
}

TEST_F(ModuleProtocolTest, ClearedNameFallsBackToTheDefault)
{
    names.setName(9, BString("LEAD"));
    EXPECT_EQ(feed({0xC0, 9}), std::vector<DisplayEvent>{program("LEAD", "", 9)});
    names.setName(9, BString());
    EXPECT_EQ(feed({0xC0, 9}), std::vector<DisplayEvent>{program("PROGRAM ", "010", 9)});
    EXPECT_TRUE(names.name(9).IsEmpty()) << "the default is shown, never stored";
}

TEST_F(ModuleProtocolTest, MultiByteCharactersAreNeverCutBetweenTheLines)
{
    // Seven ASCII letters, then a two-byte character as the eighth: it stays on the top line.
    names.setName(7, BString("ABCDEFG\xC3\xA9" "XYZ"));
    EXPECT_EQ(feed({0xC0, 7}), std::vector<DisplayEvent>{program("ABCDEFG\xC3\xA9", "XYZ", 7)});
    // Sixteen two-byte characters and more: eight on each line.
    std::string wide;
    for (int i = 0; i < 18; ++i)
        wide += "\xC3\xA9";
    names.setName(8, BString(wide.c_str()));
    const std::string eight = wide.substr(0, 16);
    EXPECT_EQ(feed({0xC0, 8}), std::vector<DisplayEvent>{program(eight, eight, 8)});
}

TEST_F(ModuleProtocolTest, OtherMessagesChangeNothing)
{
    EXPECT_TRUE(feed({0x90, 0x40, 0x7F}).empty());
    EXPECT_TRUE(feed({0xF8}).empty());
    EXPECT_TRUE(feed({0xF0, 0x7E, 0x00, 0xF7}).empty());
    EXPECT_EQ(display.orphanProgramCalls, 0);
}

TEST_F(ModuleProtocolTest, ShowProgramIsCallableDirectlyForTheCurrentProgram)
{
    names.setName(42, BString("STRINGS"));
    protocol.showProgram(42);
    EXPECT_EQ(display.take(), std::vector<DisplayEvent>{program("STRINGS", "", 42)});
}

TEST(ModuleDisplayTopLine, EmptyTopLineIsShownAsOneSpace)
{
    EXPECT_STREQ(ModuleDisplay::shownTopLine(BString()).CStr(), " ");
    EXPECT_STREQ(ModuleDisplay::shownTopLine(BString("A")).CStr(), "A");
}

// ---------------------------------------------------------------------------------------------
// Threads: the message thread changes names and channel while the MIDI thread decodes.

TEST(ModuleProtocolThreads, NamesAndChannelChangeSafelyWhileMessagesArrive)
{
    RecordingDisplay display;
    ProgramNameTable names;
    ModuleProtocol protocol(display, names);
    std::atomic<bool> stop{false};

    std::thread gui([&] {
        BString working[ProgramNameTable::kCount];
        for (int round = 0; !stop.load(); ++round)
        {
            names.setName(round % 128, BString::Format("NAME%d", round));
            if (round % 64 == 0)
            {
                for (int p = 0; p < ProgramNameTable::kCount; ++p)
                    working[p] = BString::Format("W%03d", p);
                names.assign(working);
            }
            protocol.setReceiveChannel(round % 3 == 0 ? ModuleProtocol::kOmni : 0);
        }
    });

    int shown = 0;
    for (int i = 0; i < 20000; ++i)
    {
        const std::uint8_t message[] = {0xC0, static_cast<std::uint8_t>(i % 128)};
        protocol.handleMessage(message, 2);
        if (i % 100 == 0)
        {
            for (const DisplayEvent& event : display.take())
            {
                // Every shown name is a whole stored name, never a torn one.
                const std::string name = event.top + event.bottom;
                EXPECT_TRUE(name.rfind("NAME", 0) == 0 || name.rfind("W", 0) == 0 || name.rfind("PROGRAM ", 0) == 0)
                    << name;
                ++shown;
            }
        }
    }
    stop = true;
    gui.join();
    EXPECT_GT(shown, 0);
}
