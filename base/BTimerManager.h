// BTimerManager: the one thread ("BTimerManager") that fires every BTimer of the process.
//
// Created on first getInstance(); its thread starts with the first addTimer(), sleeps until
// the earliest due time (at most 2000 ms ahead), and stops by itself after a pass that finds no
// active timer; a later addTimer() starts it again (or keeps a thread that is just ending going),
// so there is never more than one timer thread servicing. Timers are serviced last added first. A
// periodic timer that fell several intervals behind fires once per missed interval, back to
// back. Listeners run on the manager's thread with timersLock held.
//
// The manager is an AutoDelete: AutoDelete::deleteAll() destroys it at shutdown. Its destructor
// stops the thread (at most about 2 s), then drops every timer, deleting those marked
// deleteWhenDone. A later getInstance() creates a new manager.
#pragma once

#include "base/AutoDelete.h"
#include "base/BThread.h"

#include <memory>

class BTimer;
struct BTimerManagerState;

class BTimerManager : public BThread, public AutoDelete
{
public:
    // The process's manager, created on first use. Any thread.
    static BTimerManager* getInstance();

    // Schedules timer (whose active flag the owner has set): due after initialDelay, or after
    // interval when that is negative; a timer already held is rescheduled. Starts or wakes the
    // thread. Any thread, including a timer listener. Blocks while a listener runs on another
    // thread.
    void addTimer(BTimer* timer);

    // Number of timers in the list (active or about to be dropped).
    int timerCount() const;
    // Number of threads running the servicing loop: 0 or 1 (diagnostics).
    int servicingThreads() const;

    ~BTimerManager() override;

protected:
    void run() override;

private:
    BTimerManager();

    // The list and the locks live in a shared block, so a manager thread that outlives the
    // object (given up at shutdown) finishes safely.
    std::shared_ptr<BTimerManagerState> state;
};
