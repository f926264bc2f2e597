// Lifecycle of the manager singleton. Each case needs a process whose manager is new (or gone),
// so it runs in a child process of its own.
#include "base/AutoDelete.h"
#include "base/BClock.h"
#include "base/Exception.h"
#include "base/TMessageWindowThread.h"
#include "midi/MIDIDevChangeNotifier.h"
#include "midi/MidiManager.h"
#include "support/VirtualMidiBackend.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace
{
int failures = 0;

void check(bool condition, const char* what)
{
    if (!condition)
    {
        std::fprintf(stderr, "FAILED: %s\n", what);
        ++failures;
    }
}

[[noreturn]] void finish()
{
    std::fflush(stderr);
    std::fflush(stdout);
    // No teardown of the process: only the exit code counts.
    std::_Exit(failures == 0 ? 0 : 1);
}

void openBeforeStartScenario()
{
    MidiManager* manager = MidiManager::getInstance();
    check(manager->isSuspended(), "a new manager is suspended");
    VirtualMidiFactory factory;
    factory.setRescanOnChange(true);
    manager->addFactory(&factory);
    const int port = factory.addPort(true, "Early In");
    manager->updateDevices(false, true);
    const int index = manager->findDeviceByName("Early In", true);
    check(index >= 0, "the update before start lists the device");
    manager->openInput(index);
    check(manager->getInput(index)->pending.load() == 1, "open before start marks the record pending");
    check(!factory.isPortOpen(port), "open before start does not open");

    // The notifier does not scan for a suspended manager.
    TMessageWindowThread::notifyDeviceListChanged();
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    check(manager->getNotifier()->firedCount() == 0, "no update is triggered while suspended");

    manager->start();
    check(factory.isPortOpen(port), "the first update after start opens the pending device");
    check(manager->getInput(index)->pending.load() == 0, "an opened device is no longer pending");
    finish();
}

void shutdownScenario()
{
    MidiManager::getInstance()->start();
    AutoDelete::deleteAll();
    check(MidiManager::peekInstance() == nullptr, "the manager is gone after shutdown");
    try
    {
        MidiManager::getInstance();
        check(false, "getInstance after shutdown throws");
    }
    catch (const Exception& error)
    {
        check(std::strcmp(error.what(), "Cannot re-instanciate MidiManager!") == 0, "the text of the exception");
    }
    finish();
}

void useThreadsafeDeathTests()
{
    // The manager starts threads; the child must re-run the executable rather than fork.
    ::testing::FLAGS_gtest_death_test_style = "threadsafe";
}
} // namespace

TEST(MidiManagerLifecycle, OpenBeforeStartStaysPendingUntilTheFirstUpdateAfterStart)
{
    useThreadsafeDeathTests();
    EXPECT_EXIT(openBeforeStartScenario(), ::testing::ExitedWithCode(0), "");
}

TEST(MidiManagerLifecycle, GetInstanceAfterShutdownThrowsItsText)
{
    useThreadsafeDeathTests();
    EXPECT_EXIT(shutdownScenario(), ::testing::ExitedWithCode(0), "");
}
