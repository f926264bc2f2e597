#include "base/BTimer.h"

#include "base/BThread.h"
#include "base/BTimerManagerState.h"

namespace
{
constexpr int kDropWaitPolls = 500;
} // namespace

BTimer::BTimer(const BString& timerName, bool deleteWhenDoneFlag)
    : deleteWhenDone(deleteWhenDoneFlag), name(timerName)
{
}

BTimer::~BTimer()
{
    active.store(0);
    const std::shared_ptr<BTimerManagerState> manager = owner;
    if (registered.load() == 0 || !manager)
        return;

    // On the manager's own thread (a listener deleting a timer) nobody else could drop it.
    if (BTimerManagerState::servicedOnThisThread() != manager.get())
    {
        if (manager->thread)
            manager->thread->wakeEvent.signal();
        for (int i = 0; i < kDropWaitPolls && registered.load() != 0; ++i)
            BThread::sleep(1);
    }
    // Whatever the manager is doing (a long listener of this very timer included), it must not
    // reach this object once it is gone.
    std::lock_guard<std::mutex> guard(manager->guard);
    if (registered.load() != 0)
        manager->detach(this);
}
