#include "base/BString.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <vector>

namespace
{
using Units = std::vector<std::uint16_t>;

Units UnitsOf(const BWideChar* text)
{
    Units units;
    while (*text != 0)
        units.push_back(static_cast<std::uint16_t>(*text++));
    return units;
}

std::vector<BWideChar> Wide(std::initializer_list<std::uint16_t> units)
{
    std::vector<BWideChar> text;
    for (std::uint16_t u : units)
        text.push_back(static_cast<BWideChar>(u));
    text.push_back(0);
    return text;
}

// A string whose block has room for `capacity` bytes, holding `text`.
BString InBlockOf(int capacity, const char* text)
{
    BString s;
    s.Reset(capacity);
    s.Assign(text);
    EXPECT_EQ(s.Capacity(), capacity);
    return s;
}

TEST(BStringWide, DecodesOneToFourByteSequences)
{
    EXPECT_EQ(UnitsOf(BString("A").WStr()), (Units{0x41}));
    EXPECT_EQ(UnitsOf(BString("\xC3\xA9").WStr()), (Units{0x00E9}));
    EXPECT_EQ(UnitsOf(BString("\xE2\x82\xAC").WStr()), (Units{0x20AC}));
    EXPECT_EQ(UnitsOf(BString("\xEF\xBF\xBF").WStr()), (Units{0xFFFF}));
    // Above 0xFFFF: a surrogate pair.
    EXPECT_EQ(UnitsOf(BString("\xF0\x9F\x98\x80").WStr()), (Units{0xD83D, 0xDE00}));
    EXPECT_EQ(UnitsOf(BString("\xF0\x90\x80\x80").WStr()), (Units{0xD800, 0xDC00}));
    EXPECT_EQ(UnitsOf(BString("\xF4\x8F\xBF\xBF").WStr()), (Units{0xDBFF, 0xDFFF}));
    EXPECT_EQ(UnitsOf(BString("a\xC3\xA9z").WStr()), (Units{0x61, 0xE9, 0x7A}));
    EXPECT_EQ(UnitsOf(BString().WStr()), Units{});
}

TEST(BStringWide, StrayBytesStandForThemselves)
{
    EXPECT_EQ(UnitsOf(BString("\x80x").WStr()), (Units{0x80, 0x78}));
    EXPECT_EQ(UnitsOf(BString("\xBF").WStr()), (Units{0xBF}));
    EXPECT_EQ(UnitsOf(BString("\xF8\xFF").WStr()), (Units{0xF8, 0xFF}));
}

TEST(BStringWide, ASequenceLongerThanTheBlockAllowsEndsTheConversion)
{
    // E9 declares three bytes; a block of capacity 1 holds only one.
    EXPECT_EQ(UnitsOf(InBlockOf(1, "\xE9").WStr()), Units{});
    EXPECT_EQ(UnitsOf(InBlockOf(4, "a\xF0\x9F\x98").WStr()), (Units{0x61}));
    // Exactly fitting sequences are converted.
    EXPECT_EQ(UnitsOf(InBlockOf(4, "\xF0\x9F\x98\x80").WStr()), (Units{0xD83D, 0xDE00}));
    EXPECT_EQ(UnitsOf(InBlockOf(3, "a\xC3\xA9").WStr()), (Units{0x61, 0xE9}));
}

TEST(BStringWide, ANulInsideASequenceShortensIt)
{
    // With room in the block the truncated sequence keeps what it has read so far.
    EXPECT_EQ(UnitsOf(InBlockOf(10, "\xC3").WStr()), (Units{0x03}));
    EXPECT_EQ(UnitsOf(InBlockOf(10, "x\xE2\x82").WStr()), (Units{0x78, 0x82}));
}

TEST(BStringWide, TheCacheFollowsChangesOfTheText)
{
    BString s("abc");
    const BWideChar* first = s.WStr();
    EXPECT_EQ(UnitsOf(first), (Units{0x61, 0x62, 0x63}));
    EXPECT_EQ(s.WStr(), first) << "unchanged text: cached";

    BString copy(s);
    EXPECT_EQ(copy.WStr(), first) << "copies share the cache";
    copy.Append("\xC3\xA9");
    EXPECT_EQ(UnitsOf(copy.WStr()), (Units{0x61, 0x62, 0x63, 0xE9}));
    EXPECT_EQ(UnitsOf(s.WStr()), (Units{0x61, 0x62, 0x63}));

    s.Reserve(40);
    s.Append("de");
    EXPECT_EQ(UnitsOf(s.WStr()), (Units{0x61, 0x62, 0x63, 0x64, 0x65}));
    s.SetLength(1);
    EXPECT_EQ(UnitsOf(s.WStr()), (Units{0x61}));
    s.Assign("\xE2\x82\xAC\xE2\x82\xAC");
    EXPECT_EQ(UnitsOf(s.WStr()), (Units{0x20AC, 0x20AC}));
    s.Buffer()[0] = 'Z';
    s.SetLength(1);
    EXPECT_EQ(UnitsOf(s.WStr()), (Units{0x5A}));
    s.Reset(8);
    EXPECT_EQ(UnitsOf(s.WStr()), Units{});
}

TEST(BStringFromWide, EncodesStandardUtf8)
{
    EXPECT_STREQ(BString::FromWide(Wide({0x41, 0xE9}).data()).CStr(), "A\xC3\xA9");
    EXPECT_STREQ(BString::FromWide(Wide({0x7FF, 0x800}).data()).CStr(), "\xDF\xBF\xE0\xA0\x80");
    EXPECT_STREQ(BString::FromWide(Wide({0x20AC}).data()).CStr(), "\xE2\x82\xAC");
    EXPECT_STREQ(BString::FromWide(Wide({0xD83D, 0xDE00}).data()).CStr(), "\xF0\x9F\x98\x80");
    EXPECT_STREQ(BString::FromWide(Wide({0xDBFF, 0xDFFF}).data()).CStr(), "\xF4\x8F\xBF\xBF");
    EXPECT_TRUE(BString::FromWide(nullptr).IsEmpty());
    EXPECT_TRUE(BString::FromWide(Wide({}).data()).IsEmpty());
}

TEST(BStringFromWide, StopsAtTheUnitLimitAndAtZero)
{
    const auto abc = Wide({0x41, 0x42, 0x43});
    EXPECT_STREQ(BString::FromWide(abc.data(), 2).CStr(), "AB");
    EXPECT_STREQ(BString::FromWide(abc.data(), 0).CStr(), "");
    const auto stopped = Wide({0x41, 0, 0x42});
    EXPECT_STREQ(BString::FromWide(stopped.data(), 3).CStr(), "A");
    const BString exact = BString::FromWide(abc.data());
    EXPECT_EQ(exact.Capacity(), 3) << "counted first, then written";
}

TEST(BStringFromWide, SurrogatesAtTheEdgeEndTheConversion)
{
    // A pair cut by the unit limit.
    const auto pair = Wide({0x41, 0xD83D, 0xDE00});
    EXPECT_STREQ(BString::FromWide(pair.data(), 2).CStr(), "A");
    EXPECT_STREQ(BString::FromWide(pair.data(), 3).CStr(), "A\xF0\x9F\x98\x80");
    // A lone high surrogate before the terminating 0 must not pair with it (nor read beyond).
    const auto lone = Wide({0x41, 0xD800});
    EXPECT_STREQ(BString::FromWide(lone.data()).CStr(), "A");
}

TEST(BStringFromWide, UnpairedSurrogatesTakeTheNextUnitUnchecked)
{
    // D800 followed by 'B' is combined without checking the second unit:
    // 0x42 - 0xDC00 + 0x10000 = U+2442, three bytes; 'B' is consumed by the pair.
    EXPECT_STREQ(BString::FromWide(Wide({0xD800, 0x42, 0x43}).data()).CStr(), "\xE2\x91\x82" "C");
    // A low surrogate first pairs just the same: 0x400 * 0x400 + 0 + 0x10000 = 0x110000.
    EXPECT_STREQ(BString::FromWide(Wide({0xDC00, 0xDC00}).data()).CStr(), "\xF4\x90\x80\x80");
}

TEST(BStringWide, RoundTripsThroughBothForms)
{
    const char* samples[] = {"plain", "Gr\xC3\xBC\xC3\x9F" "e", "\xE2\x82\xAC 5", "\xF0\x9F\x8E\xB9 keys",
                             "mix \xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80!"};
    for (const char* sample : samples)
    {
        const BString s(sample);
        EXPECT_STREQ(BString::FromWide(s.WStr()).CStr(), sample);
    }
}
} // namespace
