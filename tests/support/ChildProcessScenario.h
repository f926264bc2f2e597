// Scenarios that need a process of their own (singletons that must be new, or gone for good):
// each runs in a child process, checks with check(), and ends with finish(), whose exit code is
// the verdict. The child re-runs the executable rather than forking, as the MIDI layer starts
// threads.
#pragma once

#include "base/Exception.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>

namespace lumo_test
{
inline int& scenarioFailures()
{
    static int failures = 0;
    return failures;
}

// Says what failed on stderr, which the parent shows.
inline void check(bool condition, const char* what)
{
    if (!condition)
    {
        std::fprintf(stderr, "FAILED: %s\n", what);
        ++scenarioFailures();
    }
}

// Ends the child without tearing anything down: only the exit code counts.
[[noreturn]] inline void finish()
{
    std::fflush(stderr);
    std::fflush(stdout);
    std::_Exit(scenarioFailures() == 0 ? 0 : 1);
}

// True when call throws our Exception with exactly that text.
inline bool throwsWithText(const std::function<void()>& call, const char* text)
{
    try
    {
        call();
    }
    catch (const Exception& error)
    {
        return std::strcmp(error.what(), text) == 0;
    }
    return false;
}

// Runs scenario (which ends with finish()) in a child process and expects it to pass.
inline void expectScenarioPasses(void (*scenario)())
{
    ::testing::FLAGS_gtest_death_test_style = "threadsafe";
    EXPECT_EXIT(scenario(), ::testing::ExitedWithCode(0), "");
}
} // namespace lumo_test
