// The kill-during-save test without its platform part: a process that saves the settings file
// over and over is ended at random moments, and after every kill the file must be one complete
// generation, never an older one than seen before, and the temporary files of killed saves must be
// cleaned up by the next save without touching anything else in the folder. How the save-loop
// helper is started and ended (SIGKILL, TerminateProcess) is the platform test's `SaveLoopProcess`.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace lumo_test
{
// One started run of the save-loop helper (tests/savekill), as the platform ends it.
class SaveLoopProcess
{
public:
    virtual ~SaveLoopProcess() = default;

    // False when the helper could not be started.
    virtual bool started() const = 0;

    // Why the start failed, for the test's message.
    virtual std::string startError() const = 0;

    // Returns once the helper has begun saving; false when it ended before that.
    virtual bool waitUntilSaving() = 0;

    // Ends the helper at once, the way a crash or a power cut would (no clean-up in it runs).
    virtual bool kill() = 0;

    // Waits for the end; true when it was the kill that ended it (not a failed save).
    virtual bool waitEndedByKill() = 0;

    // Waits for the end; true when the helper exited on its own with status 0.
    virtual bool waitExitedCleanly() = 0;
};

// Starts the helper on `file`, saving once or until it is killed.
using SaveLoopStarter = std::function<std::unique_ptr<SaveLoopProcess>(const std::filesystem::path& file, bool once)>;

struct SaveKillOptions
{
    // How many kills; the environment's LUMO_SAVE_KILLS, when set, takes precedence.
    int kills = 1000;
    // Names beside the settings file that look like a temporary file of this platform but must
    // stay (a living writer's, for example).
    std::vector<std::string> foreignNames;
};

// The exact generation of a file that is one complete generation of the helper's content, else 0.
unsigned completeSaveLoopGeneration(const std::string& bytes);

// The kill count: LUMO_SAVE_KILLS if it holds a number (0 skips the test, for a run where every
// process start takes seconds), else `defaultKills`.
int saveKillCount(int defaultKills);

// Runs the whole test with GoogleTest assertions: calibrates the kill delays on a few complete
// saves, then kills, checks after each kill, and finally checks that one more complete save
// cleans up and writes the next generation. Prints a summary line with the figures.
void runSaveKillTest(const SaveLoopStarter& start, const SaveKillOptions& options);
} // namespace lumo_test
