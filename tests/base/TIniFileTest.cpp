// The settings file: parsing, exact bytes written back, refusal of foreign formats, and saves that
// never damage the file they replace.
#include "base/TIniFile.h"

#include "support/BStringPrinting.h"
#include "support/TempDirectory.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <iterator>
#include <memory>
#include <string>

#if !defined(_WIN32)
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

using lumo_test::readBytes;
using lumo_test::TempDirectory;
using lumo_test::writeBytes;

namespace
{
class SettingsFileTest : public ::testing::Test
{
protected:
    // A settings object loaded from a file holding exactly `bytes`.
    std::unique_ptr<TIniFile> loaded(const std::string& bytes, bool expectedResult = true)
    {
        writeBytes(dir.path("in.qrcf"), bytes);
        auto ini = std::make_unique<TIniFile>(dir.text("in.qrcf"));
        EXPECT_EQ(expectedResult, ini->Load());
        return ini;
    }

    // What a load followed by a save writes for a file holding `bytes`.
    std::string rewritten(const std::string& bytes)
    {
        writeBytes(dir.path("in.qrcf"), bytes);
        TIniFile ini(dir.text("in.qrcf"));
        EXPECT_TRUE(ini.Load());
        EXPECT_TRUE(ini.Save());
        return readBytes(dir.path("in.qrcf"));
    }

    TempDirectory dir;
};

TEST_F(SettingsFileTest, ReadsValuesCaseSensitivelyAndFallsBackToTheDefault)
{
    const auto ini = loaded("[Current]\nMainLeft=120\nMainTop=80\n\n");
    EXPECT_EQ(BString("120"), ini->ReadString("Current", "MainLeft", "x"));
    EXPECT_EQ(BString("80"), ini->ReadString("Current", "MainTop", "x"));
    EXPECT_EQ(BString("x"), ini->ReadString("Current", "MainRight", "x"));
    EXPECT_EQ(BString("x"), ini->ReadString("Current", "mainleft", "x"));
    EXPECT_EQ(BString("x"), ini->ReadString("current", "MainLeft", "x"));
    EXPECT_EQ(BString("x"), ini->ReadString("Other", "MainLeft", "x"));
}

TEST_F(SettingsFileTest, EntrySyntaxTrimsNamesKeepsTrailingValueBlanksAndUnquotes)
{
    const auto ini = loaded("[Sect]\n"
                            "  MainLeft  =  120  \n"
                            "\"A\\tB\"=tab name\n"
                            "Quoted= \"say \\\"hi\\\"\" ignored\n"
                            "Open=\"no end\n"
                            "Lead=   spaced\n"
                            "Eq=a=b\n"
                            "\t;Comment=1\n"
                            "NoEquals\n"
                            "=empty name\n");
    EXPECT_EQ(BString("120  "), ini->ReadString("Sect", "MainLeft", "-"));
    EXPECT_EQ(BString("tab name"), ini->ReadString("Sect", "A\tB", "-"));
    EXPECT_EQ(BString("say \"hi\""), ini->ReadString("Sect", "Quoted", "-"));
    EXPECT_EQ(BString("-"), ini->ReadString("Sect", "Open", "-"));
    EXPECT_EQ(BString("spaced"), ini->ReadString("Sect", "Lead", "-"));
    EXPECT_EQ(BString("a=b"), ini->ReadString("Sect", "Eq", "-"));
    EXPECT_EQ(BString("-"), ini->ReadString("Sect", ";Comment", "-"));
    EXPECT_EQ(BString("-"), ini->ReadString("Sect", "NoEquals", "-"));
    EXPECT_EQ(BString("-"), ini->ReadString("Sect", "", "-"));
    EXPECT_EQ(9, ini->FindSection("Sect").Count());
}

TEST_F(SettingsFileTest, LinesWithoutEntriesAreWrittenBackVerbatimAndBlankLinesAreDropped)
{
    const std::string input = "[Sect]\n; a comment\n\nplain text\n  \nOpen=\"x\nk=v\n\n\n";
    EXPECT_EQ("[Sect]\n; a comment\nplain text\n  \nOpen=\"x\nk=v\n\n", rewritten(input));
}

TEST_F(SettingsFileTest, LastDuplicateKeyWinsAndRewritingMovesTheFirstToTheEnd)
{
    auto ini = loaded("[Sect]\nK=1\nK=2\nOther=o\n");
    EXPECT_EQ(BString("2"), ini->ReadString("Sect", "K", "-"));
    ini->GetSection("Sect").SetValue("K", "3");
    EXPECT_EQ(BString("3"), ini->ReadString("Sect", "K", "-"));
    ASSERT_TRUE(ini->Save());
    EXPECT_EQ("[Sect]\nK=2\nOther=o\nK=3\n\n", readBytes(dir.path("in.qrcf")));
}

TEST_F(SettingsFileTest, ValuesWrittenWithBlanksOrQuotesReadBackStrippedOrUnquoted)
{
    {
        TIniFile ini(dir.text("v.qrcf"));
        ini.GetSection("Sect").SetValue("Blanks", "   padded");
        ini.GetSection("Sect").SetValue("Quoted", "\"inner\" tail");
        ASSERT_TRUE(ini.Save());
    }
    TIniFile ini(dir.text("v.qrcf"));
    ASSERT_TRUE(ini.Load());
    EXPECT_EQ(BString("padded"), ini.ReadString("Sect", "Blanks", "-"));
    EXPECT_EQ(BString("inner"), ini.ReadString("Sect", "Quoted", "-"));
}

TEST_F(SettingsFileTest, SectionsAreWrittenInByteOrderWithLfEndingsAndNothingBeforeTheFirstHeader)
{
    const std::string input = "orphan=1\r\n; lost comment\r\n"
                              "[bb]\r\nk=b\r\n[current]\r\nk=c\r\n[BB]\r\nk=B\r\n"
                              "[Current]\r\nk=C\r\n[aa]\r\nk=a\r\n[Zed]\r\nk=Z\r\n";
    EXPECT_EQ("[BB]\nk=B\n\n[Current]\nk=C\n\n[Zed]\nk=Z\n\n[aa]\nk=a\n\n[bb]\nk=b\n\n"
              "[current]\nk=c\n\n",
              rewritten(input));
}

TEST_F(SettingsFileTest, WindowPositionAloneIsFourLines)
{
    TIniFile ini(dir.text("pos.qrcf"));
    ini.GetSection("Current").SetValue("MainLeft", "120");
    ini.GetSection("Current").SetValue("MainTop", "80");
    ASSERT_TRUE(ini.Save());
    EXPECT_EQ("[Current]\nMainLeft=120\nMainTop=80\n\n", readBytes(dir.path("pos.qrcf")));
}

TEST_F(SettingsFileTest, CrOnlyCrLfAndMissingFinalLineEndAllSplitLines)
{
    const auto cr = loaded("[Sect]\rA=1\rB=2\r\r[Tail]\rC=3");
    EXPECT_EQ(BString("1"), cr->ReadString("Sect", "A", "-"));
    EXPECT_EQ(BString("2"), cr->ReadString("Sect", "B", "-"));
    EXPECT_EQ(BString("3"), cr->ReadString("Tail", "C", "-"));

    // CR LF is one line end, so no blank line appears between A and B.
    const auto crlf = loaded("[Sect]\r\nA=1\r\nB=2\r\n");
    EXPECT_EQ(2, crlf->FindSection("Sect").Count());
    EXPECT_EQ(BString("1"), crlf->ReadString("Sect", "A", "-"));

    EXPECT_EQ("[Sect]\nA=1\nB=2\n\n[Tail]\nC=3\n\n", rewritten("[Sect]\rA=1\n\rB=2\r\n[Tail]\r\nC=3"));
}

TEST_F(SettingsFileTest, NothingAfterANulByteIsRead)
{
    const auto ini = loaded(std::string("[Sect]\nA=1\nB=2") + std::string(1, '\0') + "\nC=3\n[Tail]\nD=4\n");
    EXPECT_EQ(BString("1"), ini->ReadString("Sect", "A", "-"));
    EXPECT_EQ(BString("2"), ini->ReadString("Sect", "B", "-"));
    EXPECT_EQ(BString("-"), ini->ReadString("Sect", "C", "-"));
    EXPECT_EQ(BString("-"), ini->ReadString("Tail", "D", "-"));
}

TEST_F(SettingsFileTest, ByteOrderMarkHidesTheFirstHeaderSoItsSectionIsLost)
{
    const auto ini = loaded("\xEF\xBB\xBF[First]\nA=1\n[Second]\nB=2\n");
    EXPECT_EQ(BString("-"), ini->ReadString("First", "A", "-"));
    EXPECT_EQ(BString("2"), ini->ReadString("Second", "B", "-"));
    EXPECT_EQ(0, ini->FindSection("First").Count());
}

TEST_F(SettingsFileTest, HeaderNeedsFourBytesAndBracketsAtBothEnds)
{
    const std::string input = "[x]\n[AB]\n[x]\n [CD]\n[EF] \n[]]\n[ ()]\nk=v\n";
    const auto ini = loaded(input);
    // "[x]" and "[]]" are too short and the blank-padded ones are ordinary lines; the name of
    // "[ ()]" is kept untrimmed.
    EXPECT_EQ(4, ini->FindSection("AB").Count());
    EXPECT_EQ(BString("v"), ini->ReadString(" ()", "k", "-"));
    EXPECT_EQ(0, ini->FindSection("x").Count());
    EXPECT_EQ(0, ini->FindSection("CD").Count());
    EXPECT_EQ(0, ini->FindSection("()").Count());
    EXPECT_EQ("[ ()]\nk=v\n\n[AB]\n[x]\n [CD]\n[EF] \n[]]\n\n", rewritten(input));
}

TEST_F(SettingsFileTest, RepeatedHeadersMergeAndEmptyHeadersCreateNoSection)
{
    const std::string input = "[Dup]\na=1\n[Empty]\n[Other]\nb=2\n[Dup]\na=3\nc=4\n[Trailing]\n";
    const auto ini = loaded(input);
    EXPECT_EQ(BString("3"), ini->ReadString("Dup", "a", "-"));
    EXPECT_EQ(BString("4"), ini->ReadString("Dup", "c", "-"));
    EXPECT_EQ("[Dup]\na=1\na=3\nc=4\n\n[Other]\nb=2\n\n", rewritten(input));
}

TEST_F(SettingsFileTest, AHeaderFollowedOnlyByABlankLineKeepsItsSection)
{
    // A blank line is an ordinary line: it makes the section exist, and the save drops the line.
    EXPECT_EQ("[Empty]\n\n", rewritten("[Empty]\n\n"));
}

TEST_F(SettingsFileTest, ACreatedButEmptySectionIsWrittenAsHeaderAndEmptyLine)
{
    TIniFile ini(dir.text("e.qrcf"));
    ini.GetSection("Nothing");
    ini.GetSection("Some").Add("");
    ASSERT_TRUE(ini.Save());
    EXPECT_EQ("[Nothing]\n\n[Some]\n\n", readBytes(dir.path("e.qrcf")));
}

TEST_F(SettingsFileTest, FullFileRoundTripsByteForByte)
{
    const std::string canonical = "[Current]\nMainLeft=120\nMainTop=80\nChannel=0\n\n"
                                  "[MIDI.alias]\nMIDI Input=USB MIDI (2)\nMIDI Thru=Out\n\n"
                                  "[Program Names]\n; names\n0=Grand \"Piano\"\n1=  strings  \n"
                                  "\"quoted name\"=x\n\xC3\xA9t\xC3\xA9=\xE2\x82\xAC\n\n";
    EXPECT_EQ(canonical, rewritten(canonical));
    // And the written file reads back to the same values.
    const auto again = loaded(readBytes(dir.path("in.qrcf")));
    EXPECT_EQ(BString("USB MIDI (2)"), again->ReadString("MIDI.alias", "MIDI Input", "-"));
    EXPECT_EQ(BString("strings  "), again->ReadString("Program Names", "1", "-"));
    EXPECT_EQ(BString("\xE2\x82\xAC"), again->ReadString("Program Names", "\xC3\xA9t\xC3\xA9", "-"));
}

TEST_F(SettingsFileTest, HugeSectionNamesAndLongLinesAreWrittenBackWhole)
{
    const std::string longName(10000, 'N');
    const std::string longLine = "Key=" + std::string(9000, 'v') + "END";
    const std::string input = "[" + longName + "]\n" + longLine + "\n\n";
    EXPECT_EQ(input, rewritten(input));

    const auto ini = loaded(input);
    // Only the first 8000 bytes of a line take part in the entry syntax.
    const BString value = ini->ReadString(BString(longName), "Key", "-");
    EXPECT_GT(value.Length(), 7000);
    EXPECT_LT(value.Length(), 9000);
}

TEST_F(SettingsFileTest, EmptyAndBlankOnlyFilesLoadWithNoSections)
{
    const auto empty = loaded("");
    EXPECT_EQ(0, empty->FindSection("Sect").Count());
    EXPECT_EQ("", rewritten(""));

    const auto blank = loaded("  \n\t\r\n \r");
    EXPECT_FALSE(blank->IsXml());
    EXPECT_FALSE(blank->IsJson());
    EXPECT_EQ("", rewritten("  \n\t\r\n \r"));
}

TEST_F(SettingsFileTest, MissingFileLoadsNothingAndFindSectionNeverCreates)
{
    TIniFile ini(dir.text("absent.qrcf"));
    EXPECT_FALSE(ini.Load());
    EXPECT_EQ(BString("dflt"), ini.ReadString("Current", "MainLeft", "dflt"));
    const TStringList& a = ini.FindSection("A");
    const TStringList& b = ini.FindSection("B");
    EXPECT_EQ(&a, &b);
    EXPECT_EQ(0, a.Count());
    ASSERT_TRUE(ini.Save());
    EXPECT_EQ("", readBytes(dir.path("absent.qrcf")));
}

TEST_F(SettingsFileTest, LoadStartsFromNothingEachTime)
{
    auto ini = loaded("[Sect]\nA=1\n");
    ini->GetSection("Extra").SetValue("X", "1");
    ini->GetSection("Sect").SetValue("A", "changed");
    writeBytes(dir.path("in.qrcf"), "[Tail]\nB=2\n");
    ASSERT_TRUE(ini->Load());
    EXPECT_EQ(BString("-"), ini->ReadString("Sect", "A", "-"));
    EXPECT_EQ(BString("-"), ini->ReadString("Extra", "X", "-"));
    EXPECT_EQ(BString("2"), ini->ReadString("Tail", "B", "-"));

    std::filesystem::remove(dir.path("in.qrcf"));
    EXPECT_FALSE(ini->Load());
    EXPECT_EQ(BString("-"), ini->ReadString("Tail", "B", "-"));
}

TEST_F(SettingsFileTest, XmlInAnyLetterCaseAfterBlankLinesIsRefusedAndLeftUntouched)
{
    for (const std::string xml : {"<?xml version=\"1.0\"?>\n<settings/>\n", "\n \t\r\n  <?XmL?>\n[Sect]\nk=v\n",
                                  "<?XML"})
    {
        SCOPED_TRACE(xml);
        const auto ini = loaded(xml, false);
        EXPECT_TRUE(ini->IsXml());
        EXPECT_FALSE(ini->IsJson());
        EXPECT_EQ(BString("-"), ini->ReadString("Sect", "k", "-"));
        EXPECT_EQ(xml, readBytes(dir.path("in.qrcf")));
    }
    // Not quite the XML declaration: read as an ordinary (section-less) file.
    const auto almost = loaded("<?xm\n[Sect]\nk=v\n");
    EXPECT_FALSE(almost->IsXml());
    EXPECT_EQ(BString("v"), almost->ReadString("Sect", "k", "-"));
}

TEST_F(SettingsFileTest, JsonIsRefusedOnlyWhenTheFirstNonBlankLineStartsWithABrace)
{
    for (const std::string json : {"{\"Current\": {}}", "\r\n   {\n}\n"})
    {
        SCOPED_TRACE(json);
        const auto ini = loaded(json, false);
        EXPECT_TRUE(ini->IsJson());
        EXPECT_FALSE(ini->IsXml());
    }
    const auto later = loaded("[Sect]\n{=brace\n");
    EXPECT_FALSE(later->IsJson());
    EXPECT_EQ(BString("brace"), later->ReadString("Sect", "{", "-"));
}

TEST_F(SettingsFileTest, FlagsAreResetByTheNextLoadAndSaveReplacesARefusedFile)
{
    auto ini = loaded("{\"a\":1}", false);
    ASSERT_TRUE(ini->IsJson());
    ini->GetSection("Current").SetValue("MainLeft", "5");
    ASSERT_TRUE(ini->Save());
    EXPECT_EQ("[Current]\nMainLeft=5\n\n", readBytes(dir.path("in.qrcf")));
    EXPECT_TRUE(ini->Load());
    EXPECT_FALSE(ini->IsJson());
    EXPECT_FALSE(ini->IsXml());
}

TEST_F(SettingsFileTest, SaveCreatesTheMissingFolderChain)
{
    TIniFile ini(BString((dir.path("one") / "two" / "three" / "settings.qrcf").string()));
    ini.GetSection("Sect").SetValue("k", "v");
    ASSERT_TRUE(ini.Save());
    EXPECT_EQ("[Sect]\nk=v\n\n", readBytes(dir.path("one") / "two" / "three" / "settings.qrcf"));
}

TEST_F(SettingsFileTest, SaveLeavesNoTemporaryFilesBehind)
{
    TIniFile ini(dir.text("s.qrcf"));
    ini.GetSection("Sect").SetValue("k", "v");
    ASSERT_TRUE(ini.Save());
    ini.GetSection("Sect").SetValue("k", "w");
    ASSERT_TRUE(ini.Save());
    EXPECT_EQ("s.qrcf", dir.listing());
    EXPECT_EQ("[Sect]\nk=w\n\n", readBytes(dir.path("s.qrcf")));
}

TEST_F(SettingsFileTest, SaveThatCannotReplaceTheFileFailsAndCleansUp)
{
    // The settings path is taken by a directory: nothing can be renamed over it.
    std::filesystem::create_directory(dir.path("taken.qrcf"));
    writeBytes(dir.path("taken.qrcf") / "inside", "keep");
    TIniFile ini(dir.text("taken.qrcf"));
    ini.GetSection("Sect").SetValue("k", "v");
    EXPECT_FALSE(ini.Save());
    EXPECT_TRUE(std::filesystem::is_directory(dir.path("taken.qrcf")));
    EXPECT_EQ("keep", readBytes(dir.path("taken.qrcf") / "inside"));
    EXPECT_EQ("taken.qrcf", dir.listing());
}

TEST_F(SettingsFileTest, SaveBelowAFileInsteadOfAFolderFails)
{
    writeBytes(dir.path("blocker"), "not a folder");
    TIniFile ini(BString((dir.path("blocker") / "sub" / "s.qrcf").string()));
    ini.GetSection("Sect").SetValue("k", "v");
    EXPECT_FALSE(ini.Save());
    EXPECT_EQ("not a folder", readBytes(dir.path("blocker")));
    EXPECT_EQ("blocker", dir.listing());
}

#if !defined(_WIN32)
TEST_F(SettingsFileTest, SaveIntoAReadOnlyFolderFailsAndKeepsTheOldFile)
{
    const std::filesystem::path locked = dir.path("locked");
    std::filesystem::create_directory(locked);
    const std::string original = "[Current]\nMainLeft=120\n\n";
    writeBytes(locked / "s.qrcf", original);
    ASSERT_EQ(0, ::chmod(locked.c_str(), 0555));
    if (::access(locked.c_str(), W_OK) == 0)
    {
        ::chmod(locked.c_str(), 0755);
        GTEST_SKIP() << "this account may write into read-only folders";
    }
    TIniFile ini(BString((locked / "s.qrcf").string()));
    ASSERT_TRUE(ini.Load());
    ini.GetSection("Current").SetValue("MainLeft", "7");
    EXPECT_FALSE(ini.Save());
    ::chmod(locked.c_str(), 0755);
    EXPECT_EQ(original, readBytes(locked / "s.qrcf"));
    EXPECT_EQ("locked", dir.listing());
    EXPECT_EQ(1, std::distance(std::filesystem::directory_iterator(locked), std::filesystem::directory_iterator()));
}

// A file-size limit makes writes fail part-way, as a full disk would.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &previous);
        rlimit limited = previous;
        limited.rlim_cur = bytes;
        active = setrlimit(RLIMIT_FSIZE, &limited) == 0;
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &previous);
        std::signal(SIGXFSZ, previousHandler);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;
    bool active = false;

private:
    rlimit previous{};
    void (*previousHandler)(int) = SIG_DFL;
};

TEST_F(SettingsFileTest, SaveFailingPartWayKeepsTheOldFileByteIdentical)
{
    const std::string original = "[Current]\nMainLeft=120\nMainTop=80\n\n";
    writeBytes(dir.path("s.qrcf"), original);
    TIniFile ini(dir.text("s.qrcf"));
    ASSERT_TRUE(ini.Load());
    for (int i = 0; i < 2000; ++i)
        ini.GetSection("Program Names").SetValue(BString::FromInt(i), "a fairly long program name");
    {
        FileSizeLimit limit(4096);
        ASSERT_TRUE(limit.active);
        EXPECT_FALSE(ini.Save());
    }
    EXPECT_EQ(original, readBytes(dir.path("s.qrcf")));
    EXPECT_EQ("s.qrcf", dir.listing());
    // Once there is room again the same object saves everything.
    ASSERT_TRUE(ini.Save());
    TIniFile check(dir.text("s.qrcf"));
    ASSERT_TRUE(check.Load());
    EXPECT_EQ(BString("a fairly long program name"), check.ReadString("Program Names", "1999", "-"));
    EXPECT_EQ(BString("120"), check.ReadString("Current", "MainLeft", "-"));
}
#endif
} // namespace
