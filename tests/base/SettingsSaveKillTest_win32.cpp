// The kill-during-save test (tests/support/SaveKillTest.h) with the helper ended by
// TerminateProcess, the way Windows ends a program that does not answer or a crashed one.
#include "support/SaveKillTest.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <memory>
#include <string>

namespace
{
// The exit code TerminateProcess gives the helper; its own exits use 0 and small numbers.
constexpr UINT kKilledExitCode = 0xDEADu;
// A process start under Wine can take seconds on a loaded machine.
constexpr DWORD kEndTimeoutMs = 60000;
// CI's share of this test under Wine, about a minute at most: a kill costs 140 ms there on a quiet
// machine and 270 ms beside the other test processes of a CI run (the process start dominates).
// LUMO_SAVE_KILLS=1000 runs the full count.
constexpr int kDefaultKills = 200;

constexpr int kStartAttempts = 5;
int refusedStarts = 0;

// The helper is built beside this test executable.
std::wstring helperPath()
{
    wchar_t module[MAX_PATH];
    const DWORD length = ::GetModuleFileNameW(nullptr, module, MAX_PATH);
    std::wstring path(module, length);
    const std::size_t slash = path.find_last_of(L"\\/");
    return path.substr(0, slash + 1) + LUMO_SAVE_LOOP_PROGRAM_NAME;
}

class WindowsSaveLoop final : public lumo_test::SaveLoopProcess
{
public:
    WindowsSaveLoop(const std::filesystem::path& file, bool once)
    {
        std::wstring commandLine = L"\"" + helperPath() + L"\" \"" + file.wstring() + L"\"";
        if (once)
            commandLine += L" --once";
        HANDLE writeEnd = nullptr;
        if (!::CreatePipe(&readyEnd, &writeEnd, nullptr, 0))
        {
            error = "CreatePipe failed with error " + std::to_string(::GetLastError());
            return;
        }
        // Only the helper's standard output is handed down, and only for the moment of the start.
        ::SetHandleInformation(writeEnd, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = nullptr;
        startup.hStdOutput = writeEnd;
        startup.hStdError = ::GetStdHandle(STD_ERROR_HANDLE);
        PROCESS_INFORMATION created{};
        for (int attempt = 0; attempt < kStartAttempts && process == nullptr; ++attempt)
        {
            if (::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                 &startup, &created))
            {
                process = created.hProcess;
                ::CloseHandle(created.hThread);
                break;
            }
            const DWORD code = ::GetLastError();
            error = "CreateProcess failed with error " + std::to_string(code);
            // Wine now and then refuses a start among hundreds of quick starts and kills with
            // ERROR_INTERNAL_ERROR; the next attempt starts. Other failures are the test's.
            if (code != ERROR_INTERNAL_ERROR)
                break;
            ++refusedStarts;
            ::Sleep(20);
        }
        // Our copy must go, or the ready pipe would never report the helper's end.
        ::CloseHandle(writeEnd);
    }

    ~WindowsSaveLoop() override
    {
        if (readyEnd != nullptr)
            ::CloseHandle(readyEnd);
        if (process != nullptr)
        {
            // A failed assertion leaves the helper running; it must not outlive the test.
            ::TerminateProcess(process, kKilledExitCode);
            ::WaitForSingleObject(process, kEndTimeoutMs);
            ::CloseHandle(process);
        }
    }

    WindowsSaveLoop(const WindowsSaveLoop&) = delete;
    WindowsSaveLoop& operator=(const WindowsSaveLoop&) = delete;

    bool started() const override { return process != nullptr; }

    std::string startError() const override { return error; }

    bool waitUntilSaving() override
    {
        char mark = 0;
        DWORD got = 0;
        return ::ReadFile(readyEnd, &mark, 1, &got, nullptr) && got == 1;
    }

    bool kill() override { return ::TerminateProcess(process, kKilledExitCode) != 0; }

    bool waitEndedByKill() override { return exitCode() == kKilledExitCode; }

    bool waitExitedCleanly() override { return exitCode() == 0; }

private:
    DWORD exitCode()
    {
        DWORD code = STILL_ACTIVE;
        if (::WaitForSingleObject(process, kEndTimeoutMs) != WAIT_OBJECT_0 || !::GetExitCodeProcess(process, &code))
            return STILL_ACTIVE;
        return code;
    }

    HANDLE process = nullptr;
    HANDLE readyEnd = nullptr;
    std::string error;
};

// A temporary file of a writer that is alive (this test process) looks exactly like a killed
// writer's leftover by its name: removing it would pull the file from under a running save.
std::string livingWritersName()
{
    char name[64];
    std::snprintf(name, sizeof name, "lumo.qrcf.tmp%lx-0", static_cast<unsigned long>(::GetCurrentProcessId()));
    return name;
}
} // namespace

TEST(SettingsKilledWhileSaving, FileIsAlwaysOneCompleteGenerationAndLeftoversAreCleanedUp)
{
    lumo_test::SaveKillOptions options;
    options.kills = kDefaultKills;
    options.foreignNames.push_back(livingWritersName());
    lumo_test::runSaveKillTest(
        [](const std::filesystem::path& file, bool once) { return std::make_unique<WindowsSaveLoop>(file, once); },
        options);
    std::printf("helper starts refused and tried again: %d\n", refusedStarts);
}
