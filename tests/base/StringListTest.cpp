#include "base/BStringList.h"
#include "base/TStringList.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <thread>
#include <string>
#include <vector>

namespace
{
std::vector<std::string> LinesOf(const TStringList& list)
{
    std::vector<std::string> lines;
    for (int i = 0; i < list.Count(); ++i)
        lines.emplace_back(list.Get(i).CStr());
    return lines;
}

using Lines = std::vector<std::string>;

// ---- BStringList ---------------------------------------------------------------------------

TEST(BStringList, IndexOfIgnoresAsciiCase)
{
    BStringList list;
    list.Add("MIDI In");
    list.Add("USB Port");
    list.Add("usb port");
    EXPECT_EQ(list.IndexOf("usb PORT"), 1) << "the first match";
    EXPECT_EQ(list.IndexOf("midi in"), 0);
    EXPECT_EQ(list.IndexOf("MIDI"), -1) << "whole strings only";
    list.Add("Caf\xC3\xA9");
    EXPECT_EQ(list.IndexOf("CAF\xC3\xA9"), 3);
    EXPECT_EQ(list.IndexOf("CAF\xC3\x89"), -1) << "no case mapping above ASCII";
}

TEST(BStringList, EditingAndJoining)
{
    BStringList list;
    EXPECT_STREQ(list.Separator().CStr(), "\n");
    EXPECT_TRUE(list.Join().IsEmpty());
    list.Add("a");
    list.Add("b");
    list.Add("c");
    EXPECT_STREQ(list.Join().CStr(), "a\nb\nc");
    list.Set(1, "B");
    EXPECT_TRUE(list.Delete(0));
    EXPECT_FALSE(list.Delete(7));
    list.SetSeparator(", ");
    EXPECT_STREQ(list.Join().CStr(), "B, c");
    EXPECT_TRUE(list.Get(9).IsEmpty());
    BStringList copy(list);
    list.Clear();
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(copy.Count(), 2);
    EXPECT_STREQ(copy[1].CStr(), "c");
}

// ---- TStringList: line splitting -------------------------------------------------------------

TEST(TStringListText, SplitsAtLfCrAndCrLf)
{
    TStringList list;
    const char text[] = "one\ntwo\rthree\r\nfour";
    list.SetText(text, static_cast<int>(sizeof text - 1));
    EXPECT_EQ(LinesOf(list), (Lines{"one", "two", "three", "four"}));
}

TEST(TStringListText, EmptyLinesAndTrailingLineEnds)
{
    TStringList list;
    const char text[] = "a\n\n\r\n\rb\n";
    list.SetText(text, static_cast<int>(sizeof text - 1));
    EXPECT_EQ(LinesOf(list), (Lines{"a", "", "", "", "b"}));
    // LF CR is two line ends, not one.
    list.SetText("x\n\ry", 4);
    EXPECT_EQ(LinesOf(list), (Lines{"x", "", "y"}));
    list.SetText("\r\n", 2);
    EXPECT_EQ(LinesOf(list), (Lines{""}));
    list.SetText("", 0);
    EXPECT_EQ(list.Count(), 0);
    list.SetText(nullptr, 5);
    EXPECT_EQ(list.Count(), 0);
}

TEST(TStringListText, ANulEndsTheText)
{
    TStringList list;
    const char text[] = "first\nsec\0ond\nthird\n";
    list.SetText(text, static_cast<int>(sizeof text - 1));
    EXPECT_EQ(LinesOf(list), (Lines{"first", "sec"}));
}

TEST(TStringListText, ALengthShorterThanTheTextIsRespected)
{
    TStringList list;
    list.SetText("abc\r\ndef", 4); // stops between CR and LF
    EXPECT_EQ(LinesOf(list), (Lines{"abc"}));
    list.SetText("abc\ndef", 6);
    EXPECT_EQ(LinesOf(list), (Lines{"abc", "de"}));
}

TEST(TStringListText, SetTextReplacesEverythingAndTextJoinsWithTheSeparator)
{
    TStringList list;
    int tag = 0;
    list.Add("old", &tag);
    EXPECT_EQ(list.Object(0), &tag);
    list.SetText("n1\nn2", 5);
    EXPECT_EQ(LinesOf(list), (Lines{"n1", "n2"}));
    EXPECT_EQ(list.Object(0), nullptr);
    EXPECT_EQ(list.Object(5), nullptr);
    EXPECT_STREQ(list.Text().CStr(), "n1\nn2\n");
    list.SetSeparator("\r\n");
    EXPECT_STREQ(list.Text().CStr(), "n1\r\nn2\r\n");
}

TEST(TStringListFile, LoadsWholeFilesAndReportsUnreadableOnes)
{
    const std::string path = ::testing::TempDir() + "stringlist_load_test.txt";
    std::FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    std::string content = "[Current]\r\nMainLeft=120\rMainTop=80\n";
    content += std::string(20000, 'x'); // longer than one read chunk
    content += "\nlast";
    std::fwrite(content.data(), 1, content.size(), file);
    std::fclose(file);

    TStringList list;
    list.Add("kept?");
    ASSERT_TRUE(list.LoadFromFile(BString(path.c_str())));
    ASSERT_EQ(list.Count(), 5);
    EXPECT_STREQ(list.Get(1).CStr(), "MainLeft=120");
    EXPECT_EQ(list.Get(3).Length(), 20000);
    EXPECT_STREQ(list.Get(4).CStr(), "last");
    std::remove(path.c_str());

    EXPECT_FALSE(list.LoadFromFile(BString(path.c_str())));
    EXPECT_EQ(list.Count(), 5) << "a failed load leaves the lines alone";
}

// ---- TStringList: names and values ---------------------------------------------------------------

TEST(TStringListValues, LooksUpNamesCaseSensitively)
{
    TStringList list;
    list.Add("; comment");
    list.Add("MainLeft=120");
    list.Add("MainTop=80");
    EXPECT_STREQ(list.GetValue("MainLeft").CStr(), "120");
    EXPECT_STREQ(list.GetValue("mainleft", "none").CStr(), "none");
    EXPECT_STREQ(list.GetValue("Missing", "dflt").CStr(), "dflt");
    EXPECT_EQ(list.IndexOfName("MainTop"), 2);
    EXPECT_EQ(list.IndexOfName("MAINTOP"), -1);
    EXPECT_EQ(list.IndexOfName("; comment"), -1);
    BString value;
    EXPECT_TRUE(list.FindValue("MainTop", value));
    EXPECT_STREQ(value.CStr(), "80");
    EXPECT_FALSE(list.FindValue("nope", value));
}

TEST(TStringListValues, RepeatedNamesIndexTheLastValueButFindTheFirstLine)
{
    TStringList list;
    list.Add("K=1");
    list.Add("other=x");
    list.Add("K=2");
    EXPECT_STREQ(list.GetValue("K").CStr(), "2");
    EXPECT_EQ(list.IndexOfName("K"), 0);
}

TEST(TStringListValues, SetValueMovesTheRewrittenEntryToTheEnd)
{
    TStringList list;
    list.Add("K=1");
    list.Add("K=2");
    list.SetValue("K", "3");
    EXPECT_EQ(LinesOf(list), (Lines{"K=2", "K=3"}));
    EXPECT_STREQ(list.GetValue("K").CStr(), "3");

    list.SetValue("New", "v");
    EXPECT_EQ(LinesOf(list), (Lines{"K=2", "K=3", "New=v"}));
    // Written verbatim: a value with quotes or leading blanks is not protected.
    list.SetValue("Q", "  \"quoted\"");
    EXPECT_STREQ(list.Get(3).CStr(), "Q=  \"quoted\"");
    EXPECT_STREQ(list.GetValue("Q").CStr(), "quoted");
}

TEST(TStringListValues, SetValueFindsNamesWrittenWithBlanksOrQuotes)
{
    TStringList list;
    list.Add("  Port  =  A  ");
    list.Add("\"Quoted Name\" = x");
    list.SetValue("Port", "B");
    list.SetValue("Quoted Name", "y");
    EXPECT_EQ(LinesOf(list), (Lines{"Port=B", "Quoted Name=y"}));
}

TEST(TStringListValues, TheIndexIsRebuiltAfterEveryChange)
{
    TStringList list;
    list.Add("A=1");
    EXPECT_STREQ(list.GetValue("A").CStr(), "1");
    list.Add("A=2");
    EXPECT_STREQ(list.GetValue("A").CStr(), "2") << "Add drops the index";
    ASSERT_TRUE(list.Delete(1));
    EXPECT_STREQ(list.GetValue("A").CStr(), "1") << "Delete drops the index";
    list.SetText("B=5", 3);
    EXPECT_STREQ(list.GetValue("A", "gone").CStr(), "gone") << "SetText drops the index";
    EXPECT_STREQ(list.GetValue("B").CStr(), "5");
    list.Clear();
    EXPECT_STREQ(list.GetValue("B", "gone").CStr(), "gone") << "Clear drops the index";
    list.Add("C=");
    EXPECT_TRUE(list.GetValue("C", "dflt").IsEmpty()) << "an empty value is a value";

    // A copy carries its own index.
    TStringList copy(list);
    copy.SetValue("C", "9");
    EXPECT_TRUE(list.GetValue("C", "dflt").IsEmpty());
    EXPECT_STREQ(copy.GetValue("C").CStr(), "9");
}
TEST(TStringListValues, AnEmptyListMayBeReadFromSeveralThreadsAtOnce)
{
    // The settings file hands out one shared empty list for absent sections.
    static const TStringList shared;
    std::vector<std::thread> readers;
    std::vector<int> misses(4, 0);
    for (size_t t = 0; t < misses.size(); ++t)
    {
        readers.emplace_back([&misses, t] {
            for (int i = 0; i < 500; ++i)
                if (shared.GetValue("Key", "d") == "d" && shared.IndexOfName("Key") == -1)
                    ++misses[t];
        });
    }
    for (std::thread& reader : readers)
        reader.join();
    for (int m : misses)
        EXPECT_EQ(m, 500);
}
} // namespace

// ---- removing lines in one pass -------------------------------------------------------------

TEST(TStringListDeletion, DeleteIfAsksEveryLineInOrderAndKeepsTheRestInOrder)
{
    TStringList list;
    for (const char* line : {"a=1", "b=2", "a=3", "c=4", "a=5"})
        list.Add(line);
    Lines asked;
    const int removed = list.DeleteIf(
        [&asked](const BString& line)
        {
            asked.emplace_back(line.CStr());
            return line.CStr()[0] == 'a' && asked.size() > 1;   // every "a" line but the first
        });
    EXPECT_EQ(removed, 2);
    EXPECT_EQ(asked, (Lines{"a=1", "b=2", "a=3", "c=4", "a=5"}));
    EXPECT_EQ(LinesOf(list), (Lines{"a=1", "b=2", "c=4"}));
    EXPECT_STREQ(list.GetValue("a").CStr(), "1") << "the index follows the removal";
    EXPECT_EQ(list.DeleteIf([](const BString&) { return false; }), 0);
    EXPECT_EQ(list.Count(), 3);
}

TEST(TStringListDeletion, DeleteNameTakesEveryLineOfThatEntryNameAndNothingElse)
{
    TStringList list;
    for (const char* line : {"Port=A", "  Port  = B", "\"Port\"=C", "port=lower", "Port2=other", "; Port=comment",
                             "Port", "x=Port=y"})
        list.Add(line);
    EXPECT_STREQ(list.GetValue("Port").CStr(), "C");
    EXPECT_EQ(list.DeleteName("Port"), 3);
    EXPECT_EQ(LinesOf(list), (Lines{"port=lower", "Port2=other", "; Port=comment", "Port", "x=Port=y"}));
    EXPECT_STREQ(list.GetValue("Port", "gone").CStr(), "gone");
    EXPECT_EQ(list.DeleteName("Port"), 0);
}

TEST(TStringListDeletion, LargeListsKeepOrderAndContentThroughNamedChanges)
{
    constexpr int kLines = 200000;
    TStringList list;
    for (int i = 0; i < kLines; ++i)
        list.Add(BString::Format("Key%d=%d", i % 1000, i));
    // Removing one name of a thousand takes its 200 lines; SetValue on another takes its first.
    EXPECT_EQ(list.DeleteName("Key7"), kLines / 1000);
    list.SetValue("Key8", "new");
    ASSERT_EQ(list.Count(), kLines - kLines / 1000);
    int expected = 0;
    for (int i = 0; i < list.Count() - 1; ++i, ++expected)
    {
        while (expected % 1000 == 7 || expected == 8)
            ++expected;
        ASSERT_STREQ(list.Get(i).CStr(), BString::Format("Key%d=%d", expected % 1000, expected).CStr()) << i;
    }
    EXPECT_STREQ(list.Get(list.Count() - 1).CStr(), "Key8=new");
    EXPECT_STREQ(list.GetValue("Key8").CStr(), "new");
    EXPECT_STREQ(list.GetValue("Key9").CStr(), BString::FromInt(kLines - 1000 + 9).CStr());
}
