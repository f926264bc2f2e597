// The state a BTimerManager shares with its thread and its timers. Internal to base/.
#pragma once

#include "base/BList.h"
#include "base/BLock.h"
#include "base/BThread.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

class BTimer;

struct BTimerManagerState
{
    // Held for a whole servicing pass, listener calls included, and by addTimer.
    BLock timersLock;
    // Guards the list and the manager-side fields of the timers. Never held while a listener
    // runs, so a timer can always be detached without waiting for a listener.
    std::mutex guard;
    // Not owning, except for timers marked deleteWhenDone.
    BList<BTimer*> timers;
    // The timer whose listener is running, and whether it was detached meanwhile.
    BTimer* current = nullptr;
    bool currentGone = false;
    // The manager's thread, to wake it.
    std::shared_ptr<BThread::Shared> thread;

    // Guards the decision to leave, keep or start the servicing loop, so that a timer added
    // while the loop is ending either keeps that loop going or starts the next one after it
    // has left: never two loops at once. Taken inside timersLock, never the other way round.
    std::mutex loopMutex;
    // A thread runs the loop or has been started to run it.
    bool loopActive = false;
    // The manager is being destroyed: nothing restarts the loop.
    bool closing = false;
    // Threads inside the loop (diagnostics: 0 or 1).
    std::atomic<int> loops{0};

    // Removes timer from the list for good; guard held.
    void detach(BTimer* timer);
    // Detaches a timer that is done; true when the manager owns it, and the caller must delete it
    // once the lock is released. Under the lock.
    bool letGo(BTimer* timer);

    // Puts timer in the list (once) and schedules it; timersLock held.
    void add(BTimer* timer, const std::shared_ptr<BTimerManagerState>& self);

    // One servicing pass on the manager's thread; returns the milliseconds to wait.
    std::uint32_t service();

    // Cancels every timer; drops (and deletes if deleteWhenDone) those not being fired.
    void dropAll();

    // The state whose timers the calling thread is servicing, null elsewhere.
    static BTimerManagerState*& servicedOnThisThread();

private:
    std::uint32_t fire(std::unique_lock<std::mutex>& lock, BTimer* timer, std::uint32_t now, bool& gone);
};
