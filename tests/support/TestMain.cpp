// Test entry point shared by every test executable.
#include <gtest/gtest.h>

#include <cstdio>

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    // Printed last so that a runner can tell a finished run from a process that died quietly.
    std::printf("%s (status %d)\n", LUMO_TEST_SENTINEL, result);
    std::fflush(stdout);
    return result;
}
