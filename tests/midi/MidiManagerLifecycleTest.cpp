// Lifecycle of the manager singleton. Each case needs a process whose manager is new (or gone),
// so it runs in a child process of its own.
#include "base/AutoDelete.h"
#include "base/BClock.h"
#include "base/Exception.h"
#include "base/TMessageWindowThread.h"
#include "midi/MIDIDevChangeNotifier.h"
#include "midi/MidiManager.h"
#include "support/ChildProcessScenario.h"
#include "support/VirtualMidiBackend.h"
#include "support/WaitFor.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

namespace
{
using lumo_test::check;
using lumo_test::finish;

// Logs the initializer calls it receives; registered before the manager exists.
std::string initializerLog;
struct LoggingInitializer : MidiManagerInitializer
{
    explicit LoggingInitializer(char tag, bool* deleted = nullptr) : tag(tag), deleted(deleted) {}
    ~LoggingInitializer() override
    {
        if (deleted != nullptr)
            *deleted = true;
    }
    void managerCreated() override { log("created"); }
    void managerReady() override { log("ready"); }
    void managerStarted() override { log("started"); }
    void managerDestroying() override { log("destroying"); }
    void log(const char* what) { initializerLog += std::string(1, tag) + ":" + what + " "; }
    char tag;
    bool* deleted;
};


void openBeforeStartScenario()
{
    auto* first = new LoggingInitializer('A');
    check(MidiManager::registerInitializer(first) == 0, "the first initializer gets position 0");
    check(MidiManager::registerInitializer(new LoggingInitializer('B')) == 1, "the second gets position 1");
    check(MidiManager::registerInitializer(first) == 0, "registering again keeps the position");
    MidiManager* manager = MidiManager::getInstance();
    check(initializerLog == "A:created B:created A:ready B:ready ", "initializers run in registration order");
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

    initializerLog.clear();
    manager->start();
    check(initializerLog == "A:started B:started ", "start tells the initializers");
    check(factory.isPortOpen(port), "the first update after start opens the pending device");
    check(manager->getInput(index)->pending.load() == 0, "an opened device is no longer pending");
    finish();
}

void closeWhileSuspendedScenario()
{
    MidiManager* manager = MidiManager::getInstance();
    VirtualMidiFactory factory;
    factory.setRescanOnChange(true);
    manager->addFactory(&factory);
    const int port = factory.addPort(true, "Suspended In");
    manager->updateDevices(false, true);
    const int index = manager->findDeviceByName("Suspended In", true);
    check(index >= 0, "the update before start lists the device");
    // The manager opens nothing before start; open the device object directly, as a backend
    // whose port was already open would leave it.
    MMDevIn* record = manager->getInput(index);
    record->createDevice();
    check(record->getDeviceObject() != nullptr, "the factory makes a device object");
    record->getDeviceObject()->openDevice();
    check(factory.isPortOpen(port) && manager->isSuspended(), "an open device of a suspended manager");

    struct
    {
        bool force;
        bool staysOpen;
        const char* what;
    } const rows[] = {
        {false, true, "without force a suspended manager leaves an open device open"},
        {true, false, "with force it closes it"},
    };
    for (const auto& row : rows)
    {
        manager->getInput(index)->pending.store(1);
        manager->closeInput(index, row.force);
        check(factory.isPortOpen(port) == row.staysOpen, row.what);
        check(manager->getInput(index)->pending.load() == 0, "either way the device is no longer wanted");
    }
    finish();
}

void shutdownScenario()
{
    bool deleted = false;
    MidiManager::registerInitializer(new LoggingInitializer('Z', &deleted));
    MidiManager::getInstance()->start();
    initializerLog.clear();
    AutoDelete::deleteAll();
    check(initializerLog == "Z:destroying ", "the initializers hear of the destruction");
    check(deleted, "the manager deletes its initializers");
    check(MidiManager::peekInstance() == nullptr, "the manager is gone after shutdown");
    check(lumo_test::throwsWithText([] { MidiManager::getInstance(); }, "Cannot re-instanciate MidiManager!"),
          "getInstance after shutdown throws its text");
    finish();
}

std::atomic<bool> destructionBegun{false};
struct DestructionSignal : MidiManagerInitializer
{
    void managerDestroying() override { destructionBegun = true; }
};

// Holds the first device opening on a thread other than the main one until the manager's
// destruction has begun, then gives it a second to go all the way (it must not).
struct SlowOpenListener : MidiManagerDeviceControlListener
{
    void deviceWillOpen(int, bool) override
    {
        if (std::this_thread::get_id() == mainThread || entered.exchange(true))
            return;
        lumo_test::waitFor([] { return destructionBegun.load(); }, 20000);
        managerGoneMeanwhile = lumo_test::waitFor([] { return MidiManager::peekInstance() == nullptr; }, 1000);
        returned = true;
    }
    std::thread::id mainThread = std::this_thread::get_id();
    std::atomic<bool> entered{false};
    std::atomic<bool> returned{false};
    std::atomic<bool> managerGoneMeanwhile{false};
};

struct ListToldListener : TMidiDeviceListListener
{
    void deviceListChanged() override
    {
        if (std::this_thread::get_id() != mainThread)
            toldOnTimerThread = true;
    }
    std::thread::id mainThread = std::this_thread::get_id();
    std::atomic<bool> toldOnTimerThread{false};
};

void shutdownDuringUpdatePassScenario()
{
    MidiManager::registerInitializer(new DestructionSignal());
    MidiManager* manager = MidiManager::getInstance();
    check(!manager->getNotifier()->isPollMode(), "the notifier hears device changes");
    // Factories are AutoDelete objects: this one goes with the others at shutdown.
    auto* factory = new VirtualMidiFactory();
    factory->setRescanOnChange(true);
    manager->addFactory(factory);
    manager->start();
    SlowOpenListener slow;
    ListToldListener told; // after the alias manager, which rebuilds its aliases in the same call
    manager->addDeviceControlListener(&slow);
    manager->addDeviceListListener(&told);

    // An open input unplugged stays wanted; replugged, the notifier's pass reopens it.
    int port = factory->addPort(true, "Replugged In");
    manager->updateDevices(true, true);
    const int index = manager->findDeviceByName("Replugged In", true);
    manager->openInput(index);
    factory->removePort(port);
    manager->updateDevices(true, true);
    check(manager->getInput(index)->pending.load() == 1, "the unplugged input stays wanted");
    factory->addPort(true, "Replugged In");
    TMessageWindowThread::notifyDeviceListChanged();
    check(lumo_test::waitFor([&] { return slow.entered.load(); }, 20000), "the pass reopens it on the timer thread");

    AutoDelete::deleteAll();
    check(slow.returned.load(), "the pass under way had finished when the manager was gone");
    check(!slow.managerGoneMeanwhile.load(), "the manager stayed while its pass ran");
    check(told.toldOnTimerThread.load(), "the pass told its device-list listeners before the manager went");
    finish();
}
} // namespace

TEST(MidiManagerLifecycle, OpenBeforeStartStaysPendingUntilTheFirstUpdateAfterStart)
{
    lumo_test::expectScenarioPasses(openBeforeStartScenario);
}

TEST(MidiManagerLifecycle, CloseWhileSuspendedClosesOnlyWhenForcedAndClearsPendingEitherWay)
{
    lumo_test::expectScenarioPasses(closeWhileSuspendedScenario);
}

TEST(MidiManagerLifecycle, GetInstanceAfterShutdownThrowsItsText)
{
    lumo_test::expectScenarioPasses(shutdownScenario);
}

TEST(MidiManagerLifecycle, ShutdownWaitsForTheUpdatePassUnderWayOnTheTimerThread)
{
    lumo_test::expectScenarioPasses(shutdownDuringUpdatePassScenario);
}
