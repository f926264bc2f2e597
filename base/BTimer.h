// BTimer: a one-shot or periodic timer fired on the timer manager's thread.
//
// The owner fills listener, interval, initialDelay and periodic, sets active to 1 and hands
// the timer to BTimerManager::getInstance()->addTimer(). Adding it again restarts its countdown.
// Clearing active (from any thread) cancels it; the manager drops it at its next pass. A timer
// made with deleteWhenDone belongs to the manager once added: the manager deletes it when it
// drops it, and nobody else may. Not copyable.
#pragma once

#include "base/BString.h"

#include <atomic>
#include <cstdint>
#include <memory>

struct BTimerManagerState;

class BTimer
{
public:
    class Listener
    {
    public:
        virtual ~Listener() = default;
        // On the timer manager's thread, with the manager's timer lock held: may add timers and
        // cancel or delete timers, but must not wait for another thread that adds timers. An
        // exception that escapes is reported (BErrorReport) and counts as a firing.
        virtual void onTimer(BTimer* timer) = 0;
    };

    BTimer(const BString& timerName, bool deleteWhenDoneFlag);
    // Cancels the timer. When the manager still holds it, waits at most about 500 ms for the
    // manager to drop it, then detaches it from the manager; the manager never touches the
    // timer after this returns. May be called from the timer's own listener.
    virtual ~BTimer();

    BTimer(const BTimer&) = delete;
    BTimer& operator=(const BTimer&) = delete;

    // Written by the owner before addTimer, read by the manager's thread.
    std::atomic<Listener*> listener{nullptr};
    // Milliseconds before the first firing; negative means interval.
    std::atomic<int> initialDelay{-1};
    std::atomic<int> interval{1000};
    std::atomic<bool> periodic{true};
    const bool deleteWhenDone;

    // Scheduled: set by the owner before addTimer; cleared by anyone to cancel.
    std::atomic<int> active{0};
    // In the manager's list.
    std::atomic<int> registered{0};
    // The manager is servicing this timer (its listener may be running).
    std::atomic<int> firing{0};

    const BString name;

private:
    friend struct BTimerManagerState;

    // Manager-side fields, guarded by the manager's list guard.
    // Library-clock time of the next firing; 0 = none.
    std::uint32_t nextDue = 0;
    // Counts addTimer calls, so a listener that re-adds its own timer is noticed.
    std::uint32_t armCount = 0;
    // The manager state the timer was last added to.
    std::shared_ptr<BTimerManagerState> owner;
};
