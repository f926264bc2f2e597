// A process that saves the settings file over and over is killed (SIGKILL) at random moments a
// thousand times: the file must always be one complete generation, never an older one than seen
// before, and the temporary files of killed saves must be cleaned up by the next save without
// touching anything else in the folder.
#include "support/SaveLoopContent.h"
#include "support/TempDirectory.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <csignal>
#include <fcntl.h>
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
// Every tenth kill lands anywhere in the helper's start-up; the others after it has begun saving.
constexpr int kKillsDuringStartUp = 10;

using Clock = std::chrono::steady_clock;

// The save loop, started; `waitUntilSaving` returns once it has begun saving (false when it ended
// before that).
class SaveLoop
{
public:
    SaveLoop(const std::filesystem::path& file, bool once)
    {
        std::string program = LUMO_SAVE_LOOP_PROGRAM;
        std::string target = file.string();
        std::string onceFlag = "--once";
        std::vector<char*> args{program.data(), target.data()};
        if (once)
            args.push_back(onceFlag.data());
        args.push_back(nullptr);
        int ends[2];
        if (::pipe2(ends, O_CLOEXEC) != 0)
            return;
        posix_spawn_file_actions_t actions;
        ::posix_spawn_file_actions_init(&actions);
        ::posix_spawn_file_actions_adddup2(&actions, ends[1], STDOUT_FILENO);
        if (::posix_spawn(&pid, program.c_str(), &actions, nullptr, args.data(), environ) != 0)
            pid = -1;
        ::posix_spawn_file_actions_destroy(&actions);
        ::close(ends[1]);
        readyEnd = ends[0];
    }

    ~SaveLoop()
    {
        if (readyEnd >= 0)
            ::close(readyEnd);
    }

    SaveLoop(const SaveLoop&) = delete;
    SaveLoop& operator=(const SaveLoop&) = delete;

    pid_t id() const { return pid; }

    bool waitUntilSaving()
    {
        char mark = 0;
        ssize_t got;
        while ((got = ::read(readyEnd, &mark, 1)) < 0 && errno == EINTR)
        {
        }
        return got == 1;
    }

    // The exit status, after waiting for the end.
    int wait()
    {
        int status = 0;
        return ::waitpid(pid, &status, 0) == pid ? status : -1;
    }

private:
    pid_t pid = -1;
    int readyEnd = -1;
};

// How long one save takes here (median of a few), so that kills spread over whole saves on fast
// and slow machines alike.
std::chrono::microseconds oneSave(const std::filesystem::path& file)
{
    std::vector<Clock::duration> took;
    for (int i = 0; i < 5; ++i)
    {
        SaveLoop loop(file, true);
        if (loop.id() <= 0 || !loop.waitUntilSaving())
            return std::chrono::microseconds(1000);
        const auto start = Clock::now();
        loop.wait();
        took.push_back(Clock::now() - start);
    }
    std::sort(took.begin(), took.end());
    return std::chrono::duration_cast<std::chrono::microseconds>(took[took.size() / 2]);
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
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "a thousand sanitizer start-ups take minutes; the file system's part is the same";
#endif
    TempDirectory dir;
    const std::filesystem::path file = dir.path("lumo.qrcf");
    writeBytes(file, saveLoopFile(1));
    // Three saves' time after saving has begun: the kill falls before, in or between saves.
    const auto save = oneSave(file);
    const int maxDelayMicroseconds = static_cast<int>(std::max<long long>(1000, 3 * save.count()));
    const unsigned lastGenerationBeforeKills = completeGeneration(readBytes(file));
    for (const char* name : kForeignNames)
        writeBytes(dir.path(name), "not ours\n");
    std::filesystem::create_directory(dir.path(kForeignDirectory));
    const std::size_t foreignCount = std::size(kForeignNames) + 1;

    const unsigned seed = std::random_device{}();
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> delay(0, maxDelayMicroseconds);

    unsigned lastGeneration = lastGenerationBeforeKills;
    ASSERT_GT(lastGeneration, 1u) << "the calibrating saves did not complete";
    int killsLeavingATemporaryFile = 0;
    for (int kill = 0; kill < kKills; ++kill)
    {
        SaveLoop loop(file, false);
        ASSERT_GT(loop.id(), 0);
        if (kill % kKillsDuringStartUp != 0)
        {
            ASSERT_TRUE(loop.waitUntilSaving()) << "the save loop ended before saving, at kill " << kill;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(delay(random)));
        ASSERT_EQ(::kill(loop.id(), SIGKILL), 0);
        const int status = loop.wait();
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
    std::printf("%d kills, %d of them during a save's write, last generation %u, one save %lld us\n", kKills,
                killsLeavingATemporaryFile, lastGeneration, static_cast<long long>(save.count()));
    // Without kills inside the write the test would prove nothing about it.
    EXPECT_GT(killsLeavingATemporaryFile, 0);
    EXPECT_GT(lastGeneration, 1u);

    SaveLoop last(file, true);
    ASSERT_GT(last.id(), 0);
    const int status = last.wait();
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(completeGeneration(readBytes(file)), lastGeneration + 1);
    EXPECT_EQ(dir.listing(), "lumo.qrcf lumo.qrcf.bak lumo.qrcf.tmp lumo.qrcf.tmpABC-EF lumo.qrcf.tmpABCDEFG "
                             "lumo.qrcf.tmpDIR123 other.qrcf.tmpABCDEF xlumo.qrcf.tmpABCDEF");
}
