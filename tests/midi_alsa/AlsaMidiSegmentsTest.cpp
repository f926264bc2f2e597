// How outgoing bytes are cut into sequencer events: SysEx pieces that a receiver's pool can
// take, short-message runs for the encoder, every byte exactly once and in order.
#include "midi/alsa/AlsaMidiSegments.h"

#include <gtest/gtest.h>

#include <vector>

namespace
{
using Segment = AlsaMidiSegments::Segment;

struct Case
{
    const char* what;
    std::vector<unsigned char> bytes;
    std::size_t piece;
    std::vector<Segment> expected;
};

std::vector<unsigned char> sysEx(std::size_t length)
{
    std::vector<unsigned char> bytes(length, 0x11);
    bytes.front() = 0xF0;
    bytes.back() = 0xF7;
    return bytes;
}

} // namespace

TEST(AlsaMidiSegments, CutsAsExpected)
{
    const std::vector<Case> cases = {
        {"empty", {}, 4, {}},
        {"one note", {0x90, 60, 100}, 4, {{0, 3, false}}},
        {"running status stays one run", {0x90, 60, 100, 62, 100}, 4, {{0, 5, false}}},
        {"small sysex whole", {0xF0, 1, 2, 0xF7}, 4, {{0, 4, true}}},
        {"sysex cut at the piece size", {0xF0, 1, 2, 3, 4, 5, 0xF7}, 3, {{0, 3, true}, {3, 3, true}, {6, 1, true}}},
        {"exact multiple", {0xF0, 1, 2, 3, 4, 0xF7}, 3, {{0, 3, true}, {3, 3, true}}},
        {"note, sysex, note", {0x80, 1, 0, 0xF0, 7, 0xF7, 0xC0, 5}, 8, {{0, 3, false}, {3, 3, true}, {6, 2, false}}},
        {"continuation block of a long sysex", {1, 2, 3, 0xF7}, 3, {{0, 3, true}, {3, 1, true}}},
        {"middle block without end", {1, 2, 3, 4}, 8, {{0, 4, true}}},
        {"real-time byte stays inside the sysex", {0xF0, 1, 0xF8, 2, 0xF7}, 8, {{0, 5, true}}},
        {"unterminated sysex ends at the next status", {0xF0, 1, 2, 0x90, 60, 1}, 8, {{0, 3, true}, {3, 3, false}}},
        {"two sysex back to back", {0xF0, 1, 0xF7, 0xF0, 2, 0xF7}, 8, {{0, 3, true}, {3, 3, true}}},
        {"piece size 0 taken as 1", {0xF0, 0xF7}, 0, {{0, 1, true}, {1, 1, true}}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(AlsaMidiSegments::split(c.bytes.data(), c.bytes.size(), c.piece), c.expected) << c.what;
}

// A 1025-byte SysEx sent in blocks of 1024 leaves its F7 alone in the second block: that is the
// end of the SysEx, not a short message (which the encoder would turn into no event at all).
TEST(AlsaMidiSegments, TheEndOfALongSysExAloneInItsBlockIsSysEx)
{
    const std::vector<Case> cases = {
        {"lone end", {0xF7}, 8, {{0, 1, true}}},
        {"end, then a note", {0xF7, 0x90, 60, 1}, 8, {{0, 1, true}, {1, 3, false}}},
        {"end, then another sysex", {0xF7, 0xF0, 5, 0xF7}, 8, {{0, 1, true}, {1, 3, true}}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(AlsaMidiSegments::split(c.bytes.data(), c.bytes.size(), c.piece), c.expected) << c.what;
}

TEST(AlsaMidiSegments, LargeSysExBecomesPiecesThatRebuildItExactly)
{
    for (std::size_t length : {std::size_t(1024), std::size_t(1025), std::size_t(3000), std::size_t(40000)})
    {
        // A note first, so that the SysEx starts inside the data.
        std::vector<unsigned char> bytes;
        bytes.reserve(length + 3);
        bytes.push_back(0x90);
        bytes.push_back(1);
        bytes.push_back(2);
        const std::vector<unsigned char> body = sysEx(length);
        bytes.insert(bytes.end(), body.begin(), body.end());
        for (std::size_t i = 4; i + 1 < bytes.size(); ++i)
            bytes[i] = static_cast<unsigned char>(i & 0x7F);
        const auto segments = AlsaMidiSegments::split(bytes.data(), bytes.size());
        std::size_t next = 0;
        std::size_t pieces = 0;
        for (const Segment& s : segments)
        {
            EXPECT_EQ(s.offset, next) << length;
            EXPECT_GT(s.length, 0u) << length;
            if (s.sysEx)
            {
                EXPECT_LE(s.length, AlsaMidiSegments::kSysExPieceBytes) << length;
                ++pieces;
            }
            next = s.offset + s.length;
        }
        EXPECT_EQ(next, bytes.size()) << length;
        EXPECT_EQ(pieces, (length + AlsaMidiSegments::kSysExPieceBytes - 1) / AlsaMidiSegments::kSysExPieceBytes)
            << length;
        ASSERT_FALSE(segments.empty());
        EXPECT_EQ(bytes[segments[1].offset], 0xF0);
        EXPECT_EQ(bytes[segments.back().offset + segments.back().length - 1], 0xF7);
    }
}

TEST(AlsaMidiSegments, NullDataGivesNothing)
{
    EXPECT_TRUE(AlsaMidiSegments::split(nullptr, 10).empty());
}
