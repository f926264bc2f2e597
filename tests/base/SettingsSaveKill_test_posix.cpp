// A process that saves the settings file over and over is killed (SIGKILL) at random moments a
// thousand times: the file must always be one complete generation, never an older one than seen
// before, and the temporary files of killed saves must be cleaned up by the next save without
// touching anything else in the folder.
#include "support/SaveLoopContent.h"
#include "support/TempDirectory.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <csignal>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

using lumo_test::readBytes;
using lumo_test::saveLoopFile;
using lumo_test::TempDirectory;
using lumo_test::writeBytes;

namespace
{
constexpr int kKills = 1000;
// Longer than the helper's start plus several saves, so kills land before, during and between
// saves alike.
constexpr int kMaxDelayMicroseconds = 8000;

pid_t startSaveLoop(const std::filesystem::path& file, bool once)
{
    std::string program = LUMO_SAVE_LOOP_PROGRAM;
    std::string target = file.string();
    std::string onceFlag = "--once";
    std::vector<char*> args{program.data(), target.data()};
    if (once)
        args.push_back(onceFlag.data());
    args.push_back(nullptr);
    pid_t pid = -1;
    if (::posix_spawn(&pid, program.c_str(), nullptr, nullptr, args.data(), environ) != 0)
        return -1;
    return pid;
}

// The generation of a file that is exactly one complete generation, else 0.
unsigned completeGeneration(const std::string& bytes)
{
    const std::string key = "\nGeneration=";
    const std::size_t at = bytes.find(key);
    if (at == std::string::npos)
        return 0;
    const unsigned long generation = std::strtoul(bytes.c_str() + at + key.size(), nullptr, 10);
    return generation > 0 && bytes == saveLoopFile(static_cast<unsigned>(generation))
               ? static_cast<unsigned>(generation) : 0;
}

// Names in the folder beside the settings file that a save must never remove: near misses of the
// temporary files' pattern, another file's temporary file, and a directory of the exact pattern.
const char* const kForeignNames[] = {"lumo.qrcf.tmp", "lumo.qrcf.tmpABCDEFG", "lumo.qrcf.tmpABC-EF",
                                     "other.qrcf.tmpABCDEF", "lumo.qrcf.bak", "xlumo.qrcf.tmpABCDEF"};
const char* const kForeignDirectory = "lumo.qrcf.tmpDIR123";
} // namespace

TEST(SettingsKilledWhileSaving, FileIsAlwaysOneCompleteGenerationAndLeftoversAreCleanedUp)
{
    TempDirectory dir;
    const std::filesystem::path file = dir.path("lumo.qrcf");
    writeBytes(file, saveLoopFile(1));
    for (const char* name : kForeignNames)
        writeBytes(dir.path(name), "not ours\n");
    std::filesystem::create_directory(dir.path(kForeignDirectory));
    const std::size_t foreignCount = std::size(kForeignNames) + 1;

    const unsigned seed = std::random_device{}();
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> delay(0, kMaxDelayMicroseconds);

    unsigned lastGeneration = 1;
    int killsLeavingATemporaryFile = 0;
    for (int kill = 0; kill < kKills; ++kill)
    {
        const pid_t pid = startSaveLoop(file, false);
        ASSERT_GT(pid, 0);
        std::this_thread::sleep_for(std::chrono::microseconds(delay(random)));
        ASSERT_EQ(::kill(pid, SIGKILL), 0);
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL)
            << "the save loop ended on its own (a save failed) at kill " << kill;

        const unsigned generation = completeGeneration(readBytes(file));
        ASSERT_NE(generation, 0u) << "settings file not one complete generation after kill " << kill;
        ASSERT_GE(generation, lastGeneration) << "an older generation came back after kill " << kill;
        lastGeneration = generation;

        // Each save removes what earlier killed saves left, so at most the last one's file stays.
        const std::size_t entries = static_cast<std::size_t>(std::distance(
            std::filesystem::directory_iterator(dir.path()), std::filesystem::directory_iterator()));
        ASSERT_GE(entries, 1 + foreignCount);
        ASSERT_LE(entries, 2 + foreignCount) << "temporary files pile up: " << dir.listing();
        if (entries == 2 + foreignCount)
            ++killsLeavingATemporaryFile;
    }
    std::printf("%d kills, %d of them during a save's write, last generation %u\n", kKills,
                killsLeavingATemporaryFile, lastGeneration);
    // Without kills inside the write the test would prove nothing about it.
    EXPECT_GT(killsLeavingATemporaryFile, 0);
    EXPECT_GT(lastGeneration, 1u);

    const pid_t pid = startSaveLoop(file, true);
    ASSERT_GT(pid, 0);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(completeGeneration(readBytes(file)), lastGeneration + 1);
    EXPECT_EQ(dir.listing(), "lumo.qrcf lumo.qrcf.bak lumo.qrcf.tmp lumo.qrcf.tmpABC-EF lumo.qrcf.tmpABCDEFG "
                             "lumo.qrcf.tmpDIR123 other.qrcf.tmpABCDEF xlumo.qrcf.tmpABCDEF");
}
