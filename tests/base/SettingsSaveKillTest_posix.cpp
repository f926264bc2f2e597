// The kill-during-save test (tests/support/SaveKillTest.h) with the helper ended by SIGKILL.
#include "support/SaveKillTest.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace
{
class PosixSaveLoop final : public lumo_test::SaveLoopProcess
{
public:
    PosixSaveLoop(const std::filesystem::path& file, bool once)
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
        {
            error = errno;
            return;
        }
        posix_spawn_file_actions_t actions;
        ::posix_spawn_file_actions_init(&actions);
        ::posix_spawn_file_actions_adddup2(&actions, ends[1], STDOUT_FILENO);
        error = ::posix_spawn(&pid, program.c_str(), &actions, nullptr, args.data(), environ);
        if (error != 0)
            pid = -1;
        ::posix_spawn_file_actions_destroy(&actions);
        ::close(ends[1]);
        readyEnd = ends[0];
    }

    ~PosixSaveLoop() override
    {
        if (readyEnd >= 0)
            ::close(readyEnd);
        // A failed assertion leaves the helper running; it must not outlive the test.
        if (pid > 0 && !waited)
        {
            ::kill(pid, SIGKILL);
            wait();
        }
    }

    PosixSaveLoop(const PosixSaveLoop&) = delete;
    PosixSaveLoop& operator=(const PosixSaveLoop&) = delete;

    bool started() const override { return pid > 0; }

    std::string startError() const override { return std::strerror(error); }

    bool waitUntilSaving() override
    {
        char mark = 0;
        ssize_t got;
        while ((got = ::read(readyEnd, &mark, 1)) < 0 && errno == EINTR)
        {
        }
        return got == 1;
    }

    bool kill() override { return ::kill(pid, SIGKILL) == 0; }

    bool waitEndedByKill() override
    {
        const int status = wait();
        return WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
    }

    bool waitExitedCleanly() override
    {
        const int status = wait();
        return WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }

private:
    int wait()
    {
        int status = 0;
        waited = true;
        return ::waitpid(pid, &status, 0) == pid ? status : -1;
    }

    pid_t pid = -1;
    int error = 0;
    int readyEnd = -1;
    bool waited = false;
};
} // namespace

TEST(SettingsKilledWhileSaving, FileIsAlwaysOneCompleteGenerationAndLeftoversAreCleanedUp)
{
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "a thousand sanitizer start-ups take minutes; the file system's part is the same";
#endif
    lumo_test::runSaveKillTest(
        [](const std::filesystem::path& file, bool once) { return std::make_unique<PosixSaveLoop>(file, once); },
        lumo_test::SaveKillOptions{});
}
