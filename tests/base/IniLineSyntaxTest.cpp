#include "base/IniLineSyntax.h"

#include <gtest/gtest.h>

#include <string>

namespace
{
struct Entry
{
    bool found = false;
    std::string name;
    std::string value;
};

Entry Parse(const std::string& line)
{
    BString name("untouched");
    BString value("untouched");
    Entry entry;
    entry.found = IniLineSyntax::ParseEntry(line.c_str(), static_cast<int>(line.size()), name, value);
    entry.name = name.CStr();
    entry.value = value.CStr();
    if (!entry.found)
    {
        EXPECT_EQ(entry.name, "untouched") << "a line without entry leaves the outputs alone";
        EXPECT_EQ(entry.value, "untouched");
    }
    return entry;
}

void ExpectEntry(const std::string& line, const std::string& name, const std::string& value)
{
    const Entry entry = Parse(line);
    EXPECT_TRUE(entry.found) << "line: " << line;
    EXPECT_EQ(entry.name, name) << "line: " << line;
    EXPECT_EQ(entry.value, value) << "line: " << line;
}

void ExpectNoEntry(const std::string& line)
{
    EXPECT_FALSE(Parse(line).found) << "line: " << line;
}

TEST(IniLineSyntax, PlainNamesAndValues)
{
    ExpectEntry("MainLeft=120", "MainLeft", "120");
    ExpectEntry("  MainLeft  =  120  ", "MainLeft", "120  ");
    ExpectEntry("\tKey\t=\tv", "Key", "v");
    ExpectEntry("Key=a=b", "Key", "a=b");
    ExpectEntry("Key=", "Key", "");
    ExpectEntry("Key=   ", "Key", "");
    ExpectEntry("Two words = x ; not a comment", "Two words", "x ; not a comment");
    ExpectEntry("Name=Caf\xC3\xA9", "Name", "Caf\xC3\xA9");
}

TEST(IniLineSyntax, CommentsAndLinesWithoutEntry)
{
    ExpectNoEntry("; MainLeft=120");
    ExpectNoEntry("   ;x=1");
    ExpectNoEntry("MainLeft");
    ExpectNoEntry("");
    ExpectNoEntry("    ");
    ExpectNoEntry("=value");
    ExpectNoEntry("   = value");
    ExpectNoEntry("\"\"=value");
    ExpectEntry("#hash=1", "#hash", "1");
}

TEST(IniLineSyntax, QuotedNames)
{
    ExpectEntry("\"A\\tB\"=1", "A\tB", "1");
    ExpectEntry("\"Port = In\" = 2", "Port = In", "2");
    ExpectEntry("\"na\\\"me\"=3", "na\"me", "3");
    ExpectEntry("\"back\\\\slash\"=4", "back\\slash", "4");
    ExpectEntry("  \"  padded  \"  =5", "  padded  ", "5");
    // Text between the closing quote and the '=' is ignored.
    ExpectEntry("\"name\" junk here = 6", "name", "6");
    ExpectNoEntry("\"unclosed=1");
    ExpectNoEntry("\"closed but no equals\"");
    ExpectNoEntry("\"ends in escape\\");
}

TEST(IniLineSyntax, QuotedValuesAndEscapes)
{
    ExpectEntry("K=\"say \\\"hi\\\"\"", "K", "say \"hi\"");
    ExpectEntry("K=  \"  kept blanks  \"  trailing junk", "K", "  kept blanks  ");
    ExpectEntry("K=\"\\a\\b\\f\\n\\r\\t\\v\\q\\\\\"", "K", "\a\b\f\n\r\t\vq\\");
    ExpectEntry("K=\"\"", "K", "");
    ExpectNoEntry("K=\"no closing quote");
    ExpectNoEntry("K=\"escaped closing\\\"");
    // A quote later in a plain value is just a character.
    ExpectEntry("K=a \"b\"", "K", "a \"b\"");
}

TEST(IniLineSyntax, OnlyTheFirst8000BytesCount)
{
    const std::string longValue(9000, 'v');
    const Entry entry = Parse("K=" + longValue);
    ASSERT_TRUE(entry.found);
    EXPECT_EQ(entry.value.size(), 7998u);

    // The '=' at byte 8000 (counting from 0) is beyond the limit.
    ExpectNoEntry(std::string(8000, 'n') + "=1");
    ExpectEntry(std::string(7998, 'n') + "=1", std::string(7998, 'n'), "1");
    ExpectEntry(std::string(7999, 'n') + "=1", std::string(7999, 'n'), "");
    // A closing quote beyond the limit does not count.
    ExpectNoEntry("K=\"" + std::string(7997, 'q') + "\"");
    ExpectEntry("K=\"" + std::string(7996, 'q') + "\"", "K", std::string(7996, 'q'));
}

TEST(IniLineSyntax, StopsAtANulAndAcceptsBStrings)
{
    const char text[] = "K=ab\0cd";
    BString name;
    BString value;
    ASSERT_TRUE(IniLineSyntax::ParseEntry(text, static_cast<int>(sizeof text - 1), name, value));
    EXPECT_STREQ(value.CStr(), "ab");
    ASSERT_TRUE(IniLineSyntax::ParseEntry(BString(" X = y"), name, value));
    EXPECT_STREQ(name.CStr(), "X");
    EXPECT_STREQ(value.CStr(), "y");
    EXPECT_FALSE(IniLineSyntax::ParseEntry(nullptr, 5, name, value));
    EXPECT_FALSE(IniLineSyntax::ParseEntry("K=1", 0, name, value));
}
} // namespace
