// MIDIDevChangeNotifier: starts the MIDI manager's device update when the system's device set
// changes.
//
// It asks the message window thread for a window ("MIDIDevChangeMsgQueue") that hears the
// system's device-change broadcast; each broadcast lifts every factory's rescan limit
// (MidiDeviceFactory::systemDeviceSetChanged) and (re)arms a one-shot 1000 ms timer, so a burst
// of broadcasts gives one full update about a second after the last one, which lifts the limit
// again so that it sees the ports as they are now. Where no such window
// can be had it polls instead: every 10000 ms an update that enumerates only factories whose
// device count changed. Nothing is scanned while the manager is suspended.
//
// Threads: onWindowMessage runs on the message window thread and only arms the timer; onTimer
// runs on the timer manager's thread and runs the update there. Owned by the manager, whose
// destruction therefore waits for a pass under way.
#pragma once

#include "base/BTimer.h"
#include "base/TWndMessageListener.h"

#include <atomic>
#include <memory>
#include <mutex>

class MidiManager;

class MIDIDevChangeNotifier : public BTimer::Listener, public TWndMessageListener
{
public:
    static constexpr int kDebounceMs = 1000;
    static constexpr int kPollIntervalMs = 10000;

    // allowMessageWindow false forces poll mode; the intervals can be shortened for tests.
    explicit MIDIDevChangeNotifier(MidiManager& manager, bool allowMessageWindow = true,
                                   int debounceMs = kDebounceMs, int pollIntervalMs = kPollIntervalMs);
    // Releases the message window first (no broadcast arrives after that), waits for an update
    // pass of this notifier that is under way on the timer thread (the manager must not go
    // while it runs; not when called from inside that pass), then releases the timer.
    ~MIDIDevChangeNotifier() override;

    MIDIDevChangeNotifier(const MIDIDevChangeNotifier&) = delete;
    MIDIDevChangeNotifier& operator=(const MIDIDevChangeNotifier&) = delete;

    // Obtains the message window, or switches to poll mode and starts polling. True when a
    // window was obtained. Idempotent.
    bool startNotifier();
    // (Re)starts the timer's countdown.
    void armTimer();

    bool isPollMode() const { return pollMode.load() != 0; }
    bool isStarted() const { return started.load(); }
    // Number of updates the timer has run (diagnostics and tests).
    int firedCount() const { return fired.load(); }

    // TWndMessageListener: the device-change broadcast arms the timer.
    void onWindowMessage(TWindowHandle window, unsigned int message, std::uintptr_t wParam, std::intptr_t lParam,
                         int* handled) override;
    // BTimer::Listener.
    void onTimer(BTimer* timer) override;

private:
    MidiManager& manager;
    const bool allowWindow;
    const int debounce;
    const int pollInterval;
    TWindowHandle window = nullptr;
    std::atomic<int> pollMode{0};
    std::atomic<bool> started{false};
    std::atomic<bool> closing{false};
    std::atomic<int> fired{0};
    // Held by the timer thread for a whole update pass; the destructor takes it to wait.
    std::mutex passMutex;
    // Made when the mode is known (its name says the mode).
    std::unique_ptr<BTimer> timer;
};
