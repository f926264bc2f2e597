#include "midi/MIDIDevChangeNotifier.h"

#include "base/BTimerManager.h"
#include "base/TMessageWindowThread.h"
#include "midi/MidiDeviceFactory.h"
#include "midi/MidiManager.h"

MIDIDevChangeNotifier::MIDIDevChangeNotifier(MidiManager& manager_, bool allowMessageWindow, int debounceMs,
                                             int pollIntervalMs)
    : manager(manager_), allowWindow(allowMessageWindow), debounce(debounceMs), pollInterval(pollIntervalMs)
{
}

namespace
{
// The notifier whose update pass runs on this thread, if any.
thread_local const MIDIDevChangeNotifier* passOnThisThread = nullptr;

struct PassScope
{
    explicit PassScope(const MIDIDevChangeNotifier* notifier) { passOnThisThread = notifier; }
    ~PassScope() { passOnThisThread = nullptr; }
    PassScope(const PassScope&) = delete;
    PassScope& operator=(const PassScope&) = delete;
};
} // namespace

MIDIDevChangeNotifier::~MIDIDevChangeNotifier()
{
    closing.store(true);
    if (window != nullptr)
        TMessageWindowThread::destroyWindow(window);
    window = nullptr;
    // The timer gives up on a long listener after a while; the pass must not outlive the
    // manager, so wait for it here (a pass that deletes its own manager cannot wait for itself).
    if (passOnThisThread != this)
    {
        const std::lock_guard<std::mutex> waitForPass(passMutex);
    }
    timer.reset();
}

bool MIDIDevChangeNotifier::startNotifier()
{
    if (started.load() || timer)
        return started.load();
    if (allowWindow)
        window = TMessageWindowThread::createWindow(this, "MIDIDevChangeMsgQueue");
    if (window != nullptr)
    {
        timer.reset(new BTimer("MIDIDevChange async", false));
        started.store(true);
        return true;
    }
    pollMode.store(1);
    timer.reset(new BTimer("MIDIDevChange Poller", false));
    armTimer();
    return false;
}

void MIDIDevChangeNotifier::armTimer()
{
    if (!timer || closing.load())
        return;
    timer->listener.store(this);
    if (pollMode.load() != 0)
    {
        timer->interval.store(pollInterval);
        timer->periodic.store(true);
    }
    else
    {
        timer->interval.store(debounce);
        timer->periodic.store(false);
    }
    timer->active.store(1);
    BTimerManager::getInstance()->addTimer(timer.get());
}

void MIDIDevChangeNotifier::onWindowMessage(TWindowHandle, unsigned int message, std::uintptr_t, std::intptr_t,
                                            int* handled)
{
    if (message != kWmDeviceChange)
        return;
    MidiDeviceFactory::systemDeviceSetChanged();
    armTimer();
    if (handled != nullptr)
        *handled = 1;
}

void MIDIDevChangeNotifier::onTimer(BTimer* firedTimer)
{
    const bool polling = pollMode.load() != 0;
    if (!polling && firedTimer != nullptr)
        firedTimer->active.store(0);
    std::lock_guard<std::mutex> pass(passMutex);
    if (closing.load() || manager.isSuspended())
        return;
    const PassScope scope(this);
    fired.fetch_add(1);
    // Again here: a scan between the broadcast and this pass may have seen a port set that was
    // still settling, and without this its result would stand until some later change.
    if (!polling)
        MidiDeviceFactory::systemDeviceSetChanged();
    manager.updateDevices(!polling, true);
}
