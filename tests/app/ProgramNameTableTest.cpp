#include "app/protocol/ModuleProtocol.h"
#include "app/protocol/ProgramNameTable.h"
#include "base/TIniFile.h"

#include "support/TempDirectory.h"

#include <gtest/gtest.h>

#include <string>

TEST(DefaultProgramNames, RunFromOneTo128WithThreeDigits)
{
    EXPECT_STREQ(defaultProgramName(0).CStr(), "PROGRAM 001");
    EXPECT_STREQ(defaultProgramName(9).CStr(), "PROGRAM 010");
    EXPECT_STREQ(defaultProgramName(98).CStr(), "PROGRAM 099");
    EXPECT_STREQ(defaultProgramName(99).CStr(), "PROGRAM 100");
    EXPECT_STREQ(defaultProgramName(127).CStr(), "PROGRAM 128");
}

TEST(ProgramNameTableEntries, EmptyEntriesShowTheDefaultButStayEmpty)
{
    ProgramNameTable names;
    EXPECT_STREQ(names.displayName(5).CStr(), "PROGRAM 006");
    EXPECT_TRUE(names.name(5).IsEmpty());
    names.setName(5, BString("PAD"));
    EXPECT_STREQ(names.displayName(5).CStr(), "PAD");
}

TEST(ProgramNameTableEntries, ProgramsOutsideTheTableAreIgnored)
{
    ProgramNameTable names;
    names.setName(128, BString("X"));
    names.setName(-1, BString("X"));
    EXPECT_TRUE(names.name(128).IsEmpty());
    EXPECT_TRUE(names.name(-1).IsEmpty());
    BString all[ProgramNameTable::kCount];
    names.copyTo(all);
    for (const BString& entry : all)
        EXPECT_TRUE(entry.IsEmpty());
}

TEST(ProgramNameTableEntries, EditorCopyRoundTripsAndPublishesAtOnce)
{
    ProgramNameTable names;
    names.setName(3, BString("OLD"));
    BString working[ProgramNameTable::kCount];
    names.copyTo(working);
    EXPECT_STREQ(working[3].CStr(), "OLD");
    working[3] = "NEW";
    working[127] = "LAST";
    EXPECT_STREQ(names.name(3).CStr(), "OLD") << "the working copy is separate";
    names.assign(working);
    EXPECT_STREQ(names.name(3).CStr(), "NEW");
    EXPECT_STREQ(names.name(127).CStr(), "LAST");
    names.clear();
    EXPECT_TRUE(names.name(127).IsEmpty());
}

TEST(ProgramNameSettings, KeysAreProgramAndTheDecimalIndex)
{
    EXPECT_STREQ(ProgramNameTable::settingsKey(0).CStr(), "Program0");
    EXPECT_STREQ(ProgramNameTable::settingsKey(127).CStr(), "Program127");
}

TEST(ProgramNameSettings, LoadReplacesEveryEntryAndKeepsLongNamesWhole)
{
    lumo_test::TempDirectory folder;
    const std::string path = folder.file("settings.qrcf");
    lumo_test::writeBytes(path,
        "[Program Names]\n"
        "Program5=ABC\n"
        "Program7=ABCDEFGHIJKLMNOPQRSTUVWXYZ\n"
        "program9=lower-case key\n"
        "Program128=beyond the table\n"
        "[Other]\n"
        "Program6=elsewhere\n");
    ProgramNameTable names;
    names.setName(1, BString("STALE"));
    TIniFile settings(BString(path.c_str()));
    ASSERT_TRUE(settings.Load());
    names.load(settings);
    EXPECT_STREQ(names.name(5).CStr(), "ABC");
    EXPECT_STREQ(names.name(7).CStr(), "ABCDEFGHIJKLMNOPQRSTUVWXYZ");
    EXPECT_TRUE(names.name(1).IsEmpty()) << "an absent key empties the entry";
    EXPECT_TRUE(names.name(6).IsEmpty());
    EXPECT_TRUE(names.name(9).IsEmpty()) << "keys are case-sensitive";
}

TEST(ProgramNameSettings, MissingFileGivesAnEmptyTable)
{
    lumo_test::TempDirectory folder;
    ProgramNameTable names;
    names.setName(0, BString("X"));
    TIniFile settings(BString(folder.file("absent.qrcf").c_str()));
    settings.Load();
    names.load(settings);
    EXPECT_TRUE(names.name(0).IsEmpty());
}

TEST(ProgramNameSettings, SaveRoundTripsAndKeepsOtherSections)
{
    lumo_test::TempDirectory folder;
    const std::string path = folder.file("settings.qrcf");
    lumo_test::writeBytes(path, "[MIDI.alias]\nMIDI Input=Port A\n[Program Names]\n; comment stays\nProgram2=TWO\n");
    {
        ProgramNameTable names;
        names.setName(2, BString("BRASS"));
        names.setName(100, BString("A=B \"quoted\""));
        TIniFile settings(BString(path.c_str()));
        ASSERT_TRUE(settings.Load());
        names.save(settings);
        ASSERT_TRUE(settings.Save());
    }
    TIniFile reread(BString(path.c_str()));
    ASSERT_TRUE(reread.Load());
    EXPECT_STREQ(reread.ReadString(BString("MIDI.alias"), BString("MIDI Input"), BString()).CStr(), "Port A");
    ProgramNameTable names;
    names.load(reread);
    EXPECT_STREQ(names.name(2).CStr(), "BRASS");
    EXPECT_STREQ(names.name(100).CStr(), "A=B \"quoted\"");
    const std::string text = lumo_test::readBytes(path);
    EXPECT_NE(text.find("; comment stays\n"), std::string::npos);
    EXPECT_EQ(text.find("Program0="), std::string::npos) << "defaults are never stored";
}

TEST(ProgramNameSettings, ClearedNameDoesNotComeBackAtTheNextStart)
{
    lumo_test::TempDirectory folder;
    const std::string path = folder.file("settings.qrcf");
    lumo_test::writeBytes(path, "[Program Names]\nProgram4=OLD\nProgram4=OLDER DUPLICATE\nProgram5=KEEP\n");
    {
        ProgramNameTable names;
        TIniFile settings(BString(path.c_str()));
        ASSERT_TRUE(settings.Load());
        names.load(settings);
        names.setName(4, BString());
        names.save(settings);
        ASSERT_TRUE(settings.Save());
    }
    TIniFile reread(BString(path.c_str()));
    ASSERT_TRUE(reread.Load());
    ProgramNameTable names;
    names.load(reread);
    EXPECT_TRUE(names.name(4).IsEmpty());
    EXPECT_STREQ(names.name(5).CStr(), "KEEP");
}

TEST(ReceiveChannelSettings, ReadsIntegersAndFallsBackOtherwise)
{
    lumo_test::TempDirectory folder;
    const std::string path = folder.file("settings.qrcf");
    const auto readWith = [&](const std::string& line) {
        lumo_test::writeBytes(path, "[Current]\n" + line + "\n");
        TIniFile settings(BString(path.c_str()));
        settings.Load();
        return ModuleProtocol::readReceiveChannel(settings, -7);
    };
    EXPECT_EQ(readWith("ReceiveChannel=9"), 9);
    EXPECT_EQ(readWith("ReceiveChannel=-1"), -1);
    EXPECT_EQ(readWith("ReceiveChannel=20"), 20) << "range is the selector's business";
    EXPECT_EQ(readWith("ReceiveChannel= 3"), 3);
    EXPECT_EQ(readWith("ReceiveChannel=abc"), -7);
    EXPECT_EQ(readWith("ReceiveChannel="), -7);
    EXPECT_EQ(readWith("receivechannel=4"), -7);
    EXPECT_EQ(readWith("MainLeft=4"), -7);
    EXPECT_EQ(ModuleProtocol::normaliseReceiveChannel(20), ModuleProtocol::kOmni);
    EXPECT_EQ(ModuleProtocol::normaliseReceiveChannel(9), 9);
}

TEST(ReceiveChannelSettings, WrittenValueReadsBack)
{
    lumo_test::TempDirectory folder;
    const std::string path = folder.file("settings.qrcf");
    for (const int channel : {-1, 0, 15})
    {
        {
            TIniFile settings(BString(path.c_str()));
            settings.Load();
            ModuleProtocol::writeReceiveChannel(settings, channel);
            ASSERT_TRUE(settings.Save());
        }
        TIniFile settings(BString(path.c_str()));
        ASSERT_TRUE(settings.Load());
        EXPECT_EQ(ModuleProtocol::readReceiveChannel(settings, 99), channel);
    }
    EXPECT_NE(lumo_test::readBytes(path).find("[Current]\nReceiveChannel=15\n"), std::string::npos);
}

TEST(ProgramNameSettings, SaveReplacesExactlyTheProgramKeysAndKeepsEveryOtherLineInOrder)
{
    lumo_test::TempDirectory folder;
    const std::string path = folder.file("settings.qrcf");
    lumo_test::writeBytes(path, "[Program Names]\n"
                                "; comment\n"
                                "Program1=first one\n"
                                "Extra=x\n"
                                "Program1=second one\n"
                                "Program007=not program seven\n"
                                "\"Program2\"=quoted key\n"
                                "Program128=outside the table\n"
                                " Program3 = spaced\n"
                                "Program3=duplicate\n"
                                "program4=lower case\n");
    ProgramNameTable names;
    names.setName(1, BString("ONE"));
    names.setName(7, BString("SEVEN"));
    {
        TIniFile settings(BString(path.c_str()));
        ASSERT_TRUE(settings.Load());
        names.save(settings);
        ASSERT_TRUE(settings.Save());
    }
    // A stored name replaces its key's first line; a cleared one takes all of its key's lines;
    // keys that only look like program keys stay where they were.
    EXPECT_EQ(lumo_test::readBytes(path), "[Program Names]\n"
                                          "; comment\n"
                                          "Extra=x\n"
                                          "Program1=second one\n"
                                          "Program007=not program seven\n"
                                          "Program128=outside the table\n"
                                          "program4=lower case\n"
                                          "Program1=ONE\n"
                                          "Program7=SEVEN\n"
                                          "\n");
    TIniFile reread(BString(path.c_str()));
    ASSERT_TRUE(reread.Load());
    ProgramNameTable loaded;
    loaded.load(reread);
    for (int p = 0; p < ProgramNameTable::kCount; ++p)
        EXPECT_STREQ(loaded.name(p).CStr(), names.name(p).CStr()) << p;
}

TEST(ProgramNameSettings, ALargeSectionKeepsItsOtherLinesInOrderThroughASave)
{
    constexpr int kForeignLines = 300000;
    lumo_test::TempDirectory folder;
    const std::string path = folder.file("settings.qrcf");
    std::string text = "[Program Names]\n";
    for (int i = 0; i < kForeignLines; ++i)
    {
        text += "Extra" + std::to_string(i) + "=v\n";
        if (i % 1000 == 0 && i / 1000 < ProgramNameTable::kCount)
            text += "Program" + std::to_string(i / 1000) + "=old\n";
    }
    lumo_test::writeBytes(path, text);

    ProgramNameTable names;
    for (int p = 0; p < ProgramNameTable::kCount; p += 2)
        names.setName(p, BString::Format("NEW %d", p));
    {
        TIniFile settings(BString(path.c_str()));
        ASSERT_TRUE(settings.Load());
        names.save(settings);
        ASSERT_TRUE(settings.Save());
    }
    TIniFile reread(BString(path.c_str()));
    ASSERT_TRUE(reread.Load());
    const TStringList& section = reread.FindSection(BString(ProgramNameTable::kSettingsSection));
    // The foreign lines, the 64 names, and the empty line that ends a section in the file.
    ASSERT_EQ(section.Count(), kForeignLines + ProgramNameTable::kCount / 2 + 1);
    for (int i = 0; i < kForeignLines; ++i)
        ASSERT_STREQ(section.Get(i).CStr(), ("Extra" + std::to_string(i) + "=v").c_str()) << i;
    ProgramNameTable loaded;
    loaded.load(reread);
    for (int p = 0; p < ProgramNameTable::kCount; ++p)
        EXPECT_STREQ(loaded.name(p).CStr(), names.name(p).CStr()) << p;
}
