#include "support/SaveKillTest.h"

#include "support/SaveLoopContent.h"
#include "support/TempDirectory.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <random>
#include <thread>

namespace lumo_test
{
namespace
{
// Every tenth kill lands anywhere in the helper's start-up; the others after it has begun saving.
constexpr int kKillsDuringStartUp = 10;

using Clock = std::chrono::steady_clock;

// Names in the folder beside the settings file that a save must never remove: near misses of the
// temporary files' patterns, another file's temporary file, and a directory of the exact pattern.
const char* const kForeignNames[] = {"lumo.qrcf.tmp", "lumo.qrcf.tmpABCDEFG", "lumo.qrcf.tmpABC-EF",
                                     "other.qrcf.tmpABCDEF", "lumo.qrcf.bak", "xlumo.qrcf.tmpABCDEF"};
const char* const kForeignDirectory = "lumo.qrcf.tmpDIR123";

// How long one save takes here (median of a few), so that kills spread over whole saves on fast
// and slow machines alike.
std::chrono::microseconds oneSave(const SaveLoopStarter& start, const std::filesystem::path& file)
{
    std::vector<Clock::duration> took;
    for (int i = 0; i < 5; ++i)
    {
        const std::unique_ptr<SaveLoopProcess> loop = start(file, true);
        if (!loop->started() || !loop->waitUntilSaving())
            return std::chrono::microseconds(1000);
        const auto begun = Clock::now();
        loop->waitExitedCleanly();
        took.push_back(Clock::now() - begun);
    }
    std::sort(took.begin(), took.end());
    return std::chrono::duration_cast<std::chrono::microseconds>(took[took.size() / 2]);
}

// Sleeping rounds up to the system's tick (a millisecond or more on Windows), which would bunch
// the kills of a short save together: the last stretch is spun.
void pause(std::chrono::microseconds delay)
{
    const auto until = Clock::now() + delay;
    if (delay > std::chrono::milliseconds(3))
        std::this_thread::sleep_for(delay - std::chrono::milliseconds(2));
    while (Clock::now() < until)
        std::this_thread::yield();
}

unsigned seedFromEnvironment()
{
    const char* text = std::getenv("LUMO_SAVE_KILL_SEED");
    if (text != nullptr && *text != 0)
        return static_cast<unsigned>(std::strtoul(text, nullptr, 10));
    return std::random_device{}();
}

std::size_t entriesIn(const std::filesystem::path& folder)
{
    return static_cast<std::size_t>(
        std::distance(std::filesystem::directory_iterator(folder), std::filesystem::directory_iterator()));
}
} // namespace

unsigned completeSaveLoopGeneration(const std::string& bytes)
{
    const std::string key = "\nGeneration=";
    const std::size_t at = bytes.find(key);
    if (at == std::string::npos)
        return 0;
    const unsigned long generation = std::strtoul(bytes.c_str() + at + key.size(), nullptr, 10);
    return generation > 0 && bytes == saveLoopFile(static_cast<unsigned>(generation))
               ? static_cast<unsigned>(generation) : 0;
}

int saveKillCount(int defaultKills)
{
    const char* text = std::getenv("LUMO_SAVE_KILLS");
    if (text == nullptr || *text == 0)
        return defaultKills;
    char* end = nullptr;
    const long kills = std::strtol(text, &end, 10);
    return kills >= 0 && *end == 0 ? static_cast<int>(kills) : defaultKills;
}

void runSaveKillTest(const SaveLoopStarter& start, const SaveKillOptions& options)
{
    const int kills = saveKillCount(options.kills);
    if (kills == 0)
        GTEST_SKIP() << "LUMO_SAVE_KILLS=0";
    TempDirectory dir;
    const std::filesystem::path file = dir.path("lumo.qrcf");
    writeBytes(file, saveLoopFile(1));
    // Three saves' time after saving has begun: the kill falls before, in or between saves.
    const auto save = oneSave(start, file);
    const int maxDelayMicroseconds = static_cast<int>(std::max<long long>(1000, 3 * save.count()));
    std::vector<std::string> foreign(std::begin(kForeignNames), std::end(kForeignNames));
    foreign.insert(foreign.end(), options.foreignNames.begin(), options.foreignNames.end());
    for (const std::string& name : foreign)
        writeBytes(dir.path(name), "not ours\n");
    std::filesystem::create_directory(dir.path(kForeignDirectory));
    foreign.push_back(kForeignDirectory);
    const std::size_t foreignCount = foreign.size();

    const unsigned seed = seedFromEnvironment();
    SCOPED_TRACE("seed " + std::to_string(seed) + " (LUMO_SAVE_KILL_SEED repeats it)");
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> delay(0, maxDelayMicroseconds);

    unsigned lastGeneration = completeSaveLoopGeneration(readBytes(file));
    ASSERT_GT(lastGeneration, 1u) << "the calibrating saves did not complete";
    int killsLeavingATemporaryFile = 0;
    const auto begun = Clock::now();
    for (int kill = 0; kill < kills; ++kill)
    {
        const std::unique_ptr<SaveLoopProcess> loop = start(file, false);
        ASSERT_TRUE(loop->started()) << "at kill " << kill << ": " << loop->startError();
        if (kill % kKillsDuringStartUp != 0)
        {
            ASSERT_TRUE(loop->waitUntilSaving()) << "the save loop ended before saving, at kill " << kill;
        }
        pause(std::chrono::microseconds(delay(random)));
        ASSERT_TRUE(loop->kill()) << "the save loop could not be ended at kill " << kill;
        ASSERT_TRUE(loop->waitEndedByKill()) << "the save loop ended on its own (a save failed) at kill " << kill;

        const unsigned generation = completeSaveLoopGeneration(readBytes(file));
        ASSERT_NE(generation, 0u) << "settings file not one complete generation after kill " << kill;
        ASSERT_GE(generation, lastGeneration) << "an older generation came back after kill " << kill;
        lastGeneration = generation;

        // Each save removes what earlier killed saves left, so at most the last one's file stays.
        const std::size_t entries = entriesIn(dir.path());
        ASSERT_GE(entries, 1 + foreignCount) << "a foreign name was removed: " << dir.listing();
        ASSERT_LE(entries, 2 + foreignCount) << "temporary files pile up: " << dir.listing();
        if (entries == 2 + foreignCount)
            ++killsLeavingATemporaryFile;
    }
    const auto perKill = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - begun) / kills;
    std::printf("%d kills, %d of them during a save's write, last generation %u, one save %lld us, "
                "one kill %lld us\n",
                kills, killsLeavingATemporaryFile, lastGeneration, static_cast<long long>(save.count()),
                static_cast<long long>(perKill.count()));
    std::fflush(stdout);
    // Without kills inside the write the test would prove nothing about it (a handful of kills,
    // as a quick local run may ask for, can miss every write).
    if (kills >= 50)
    {
        EXPECT_GT(killsLeavingATemporaryFile, 0);
    }
    EXPECT_GT(lastGeneration, 1u);

    const std::unique_ptr<SaveLoopProcess> last = start(file, true);
    ASSERT_TRUE(last->started()) << last->startError();
    ASSERT_TRUE(last->waitExitedCleanly());
    EXPECT_EQ(completeSaveLoopGeneration(readBytes(file)), lastGeneration + 1);
    std::vector<std::string> expected = foreign;
    expected.push_back("lumo.qrcf");
    std::sort(expected.begin(), expected.end());
    std::string listing;
    for (const std::string& name : expected)
        listing += (listing.empty() ? "" : " ") + name;
    EXPECT_EQ(dir.listing(), listing);
}
} // namespace lumo_test
