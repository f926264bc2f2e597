#include "app/protocol/DumpFile.h"
#include "app/protocol/ModuleProtocol.h"
#include "app/protocol/ProgramNameTable.h"

#include "RecordingDisplay.h"
#include "support/TempDirectory.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <thread>
#include <vector>

using Bytes = std::vector<unsigned char>;

TEST(DumpOption, IsFoundAnywhereInAnyLetterCase)
{
    for (const char* line : {"/dump", "-dump", "/DUMP", "-DuMp", "lumo.exe /dump", "lumo.exe -Dump x",
                             "--dumpfile", "x/dumpy", "\"C:\\a b\\lumo.exe\" /DUMP"})
        EXPECT_TRUE(DumpFile::isRequested(BString(line))) << line;
}

TEST(DumpOption, IsOffWithoutTheOption)
{
    for (const char* line : {"", "dump", "lumo.exe", "/dum", "-dum p", "/ dump", "\\dump", "_dump"})
        EXPECT_FALSE(DumpFile::isRequested(BString(line))) << line;
}

TEST(DumpFileWriting, RecordsEveryMessageInArrivalOrderWithNothingBetween)
{
    lumo_test::TempDirectory folder;
    const std::string path = folder.file("dump.syx");
    RecordingDisplay display;
    ProgramNameTable names;
    ModuleProtocol protocol(display, names);
    ASSERT_TRUE(protocol.dumpFile().open(BString(path.c_str())));

    const Bytes display1{0xF0, 0x77, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 0x75, 0xF7};
    const Bytes programChange{0xC3, 0x05};
    const Bytes noteOn{0x90, 0x40, 0x7F};
    const Bytes clock{0xF8};
    const Bytes foreignSysEx{0xF0, 0x43, 0x10, 0x00, 0xF7};
    Bytes expected;
    for (const Bytes* message : {&display1, &programChange, &noteOn, &clock, &foreignSysEx, &display1})
    {
        protocol.handleMessage(message->data(), static_cast<int>(message->size()));
        expected.insert(expected.end(), message->begin(), message->end());
    }
    // Written through at once: the content is complete before the file is closed.
    EXPECT_EQ(lumo_test::readByteValues(path), expected);
    protocol.dumpFile().close();
    EXPECT_EQ(lumo_test::readByteValues(path), expected);
    EXPECT_EQ(display.take().size(), 3u) << "dumping must not change the decoding";
}

TEST(DumpFileWriting, OpeningEmptiesAnExistingFile)
{
    lumo_test::TempDirectory folder;
    const std::string path = folder.file("dump.syx");
    lumo_test::writeBytes(path, "old content");
    DumpFile dump;
    ASSERT_TRUE(dump.open(BString(path.c_str())));
    const std::uint8_t clock = 0xF8;
    dump.append(&clock, 1);
    dump.close();
    EXPECT_EQ(lumo_test::readByteValues(path), Bytes{0xF8});
}

TEST(DumpFileWriting, DefaultFileIsCreatedInTheWorkingDirectory)
{
    lumo_test::TempDirectory folder;
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(folder.path());
    DumpFile dump;
    const bool opened = dump.open();
    const std::uint8_t message[] = {0xC0, 0x01};
    dump.append(message, 2);
    dump.close();
    std::filesystem::current_path(previous);
    ASSERT_TRUE(opened);
    EXPECT_EQ(lumo_test::readByteValues(folder.file("LUMO_dump.syx")), (Bytes{0xC0, 0x01}));
}

TEST(DumpFileWriting, NoticeNamesTheFileOnStandardOutput)
{
    lumo_test::TempDirectory folder;
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(folder.path());
    testing::internal::CaptureStdout();
    DumpFile dump;
    dump.open();
    const std::string printed = testing::internal::GetCapturedStdout();
    dump.close();
    std::filesystem::current_path(previous);
    EXPECT_EQ(printed, "Dumping to LUMO_dump.syx...\n");
}

TEST(DumpFileWriting, UnopenableFileLeavesTheDumpOffAndTheProtocolWorking)
{
    lumo_test::TempDirectory folder;
    RecordingDisplay display;
    ProgramNameTable names;
    ModuleProtocol protocol(display, names);
    // A folder of that name is in the way.
    EXPECT_FALSE(protocol.dumpFile().open(BString(folder.path().string().c_str())));
    EXPECT_FALSE(protocol.dumpFile().isOpen());
    const std::uint8_t message[] = {0xC0, 0x01};
    protocol.handleMessage(message, 2);
    EXPECT_EQ(display.take().size(), 1u);
}

TEST(DumpFileWriting, AppendAfterCloseIsHarmless)
{
    lumo_test::TempDirectory folder;
    const std::string path = folder.file("dump.syx");
    DumpFile dump;
    ASSERT_TRUE(dump.open(BString(path.c_str())));
    dump.close();
    const std::uint8_t clock = 0xF8;
    EXPECT_TRUE(dump.append(&clock, 1));
    dump.close();
    EXPECT_TRUE(lumo_test::readByteValues(path).empty());
}

TEST(DumpFileWriting, CloseWhileTheMidiThreadAppendsLosesNoWrittenMessage)
{
    lumo_test::TempDirectory folder;
    const std::string path = folder.file("dump.syx");
    DumpFile dump;
    ASSERT_TRUE(dump.open(BString(path.c_str())));
    std::atomic<int> appended{0};
    std::atomic<bool> started{false};
    std::thread midi([&] {
        const std::uint8_t message[] = {0x90, 0x40, 0x7F};
        for (int i = 0; i < 200000 && dump.isOpen(); ++i)
        {
            started = true;
            dump.append(message, 3);
            ++appended;
        }
    });
    while (!started)
        std::this_thread::yield();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    dump.close();
    midi.join();
    const Bytes content = lumo_test::readByteValues(path);
    // Every append either landed whole before the close or found the file closed.
    EXPECT_EQ(content.size() % 3, 0u);
    EXPECT_GT(content.size(), 0u);
    EXPECT_LE(content.size(), static_cast<std::size_t>(appended.load()) * 3);
    for (std::size_t i = 0; i < content.size(); i += 3)
        ASSERT_EQ(content[i], 0x90) << "at " << i;
}
