/* A Windows program that does nothing until it is killed.
 *
 * Wine stops its service processes when the last Windows process of a prefix ends, and starts them
 * again with the next one: seconds per test executable, ten and more under emulation. The test
 * runner (scripts/wine-tests.sh) keeps one of these alive for the whole run so that every test
 * process finds the services up. */
#include <windows.h>

int main(void)
{
    for (;;)
        Sleep(INFINITE);
}
