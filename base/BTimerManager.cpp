#include "base/BTimerManager.h"

#include "base/BClock.h"
#include "base/BErrorReport.h"
#include "base/BTimer.h"
#include "base/BTimerManagerState.h"

#include <algorithm>
#include <exception>
#include <mutex>
#include <vector>

namespace
{
// Longest sleep of the manager between passes, and the wait of a pass with an empty list.
constexpr std::uint32_t kMaxWaitMs = 2000;

std::mutex& instanceMutex()
{
    static std::mutex mutex;
    return mutex;
}

BTimerManager*& instancePointer()
{
    static BTimerManager* instance = nullptr;
    return instance;
}

// Due time of a timer scheduled now with the given delay; 0 is reserved for "none".
std::uint32_t dueAfter(std::uint32_t now, int delayMs)
{
    const std::uint32_t due = now + static_cast<std::uint32_t>(std::max(delayMs, 0));
    return due == 0 ? 1 : due;
}
// A listener's exception must neither end the process nor the manager's thread: it is reported
// and the timer is treated as fired.
void callListener(BTimer::Listener* listener, BTimer* timer)
{
    // Copied first: the listener may delete its own timer.
    const BString name = timer->name;
    try
    {
        listener->onTimer(timer);
    }
    catch (const std::exception& error)
    {
        BErrorReport::report(name, BString(error.what()));
    }
    catch (...)
    {
        BErrorReport::report(name, BString("unknown exception"));
    }
}
} // namespace

// ---- shared state ---------------------------------------------------------------------------

BTimerManagerState*& BTimerManagerState::servicedOnThisThread()
{
    thread_local BTimerManagerState* serviced = nullptr;
    return serviced;
}

// The manager's last touch of the timer: an owner that sees it unregistered may delete it.
bool BTimerManagerState::letGo(BTimer* timer)
{
    // Read before detaching: once detached, an owner may delete the timer at any moment.
    const bool ownedHere = timer->deleteWhenDone;
    detach(timer);
    return ownedHere;
}

void BTimerManagerState::detach(BTimer* timer)
{
    const int index = timers.IndexOf(timer);
    if (index >= 0)
        timers.Delete(index);
    timer->registered.store(0);
    if (current == timer)
        currentGone = true;
}

void BTimerManagerState::add(BTimer* timer, const std::shared_ptr<BTimerManagerState>& self)
{
    std::lock_guard<std::mutex> lock(guard);
    if (!timers.Contains(timer))
        timers.Add(timer);
    const int delay = timer->initialDelay.load();
    timer->nextDue = dueAfter(BClock::now(), delay < 0 ? timer->interval.load() : delay);
    ++timer->armCount;
    // Adding schedules. The owner set active before calling, but a pass that was running this
    // timer's listener meanwhile (addTimer waits for the pass) cleared it when the one-shot
    // firing ended, which would drop the new schedule.
    timer->active.store(1);
    timer->owner = self;
    timer->registered.store(1);
}

std::uint32_t BTimerManagerState::fire(std::unique_lock<std::mutex>& lock, BTimer* timer, std::uint32_t now,
                                       bool& gone)
{
    if (timer->nextDue == 0)
        return 0;
    timer->firing.store(1);
    for (;;)
    {
        if (BClock::isBefore(now, timer->nextDue))
        {
            timer->firing.store(0);
            return timer->nextDue;
        }
        if (BTimer::Listener* listener = timer->listener.load())
        {
            const std::uint32_t armedBefore = timer->armCount;
            current = timer;
            currentGone = false;
            lock.unlock();
            callListener(listener, timer);
            lock.lock();
            current = nullptr;
            if (currentGone)
            {
                gone = true;
                return 0;
            }
            // Re-added by its own listener: the new schedule replaces this firing.
            if (timer->armCount != armedBefore && timer->active.load() != 0)
            {
                timer->firing.store(0);
                return timer->nextDue;
            }
        }
        if (!timer->periodic.load() || timer->active.load() == 0)
            break;
        // Catch-up: one firing per missed interval. A zero interval would never catch up.
        timer->nextDue += static_cast<std::uint32_t>(std::max(timer->interval.load(), 1));
    }
    timer->nextDue = 0;
    timer->active.store(0);
    timer->firing.store(0);
    return 0;
}

std::uint32_t BTimerManagerState::service()
{
    BLockGuard serviceLock(timersLock);
    std::unique_lock<std::mutex> lock(guard);
    if (timers.IsEmpty())
        return kMaxWaitMs;

    const std::uint32_t now = BClock::now();
    std::uint32_t next = now + kMaxWaitMs;
    int activeCount = 0;
    // Listeners may add, cancel and delete timers while the pass runs, so it walks a copy and
    // checks membership before touching a timer.
    const BList<BTimer*> pass(timers);
    for (int i = pass.Count() - 1; i >= 0; --i)
    {
        BTimer* timer = pass.Get(i);
        if (!timers.Contains(timer))
            continue;
        if (timer->active.load() != 0)
        {
            bool gone = false;
            const std::uint32_t due = fire(lock, timer, now, gone);
            if (gone)
                continue;
            if (due != 0 && BClock::isBefore(due, next))
                next = due;
            if (timer->active.load() != 0)
            {
                ++activeCount;
                continue;
            }
        }
        timer->active.store(0);
        if (timer->firing.load() != 0)
            continue;
        if (letGo(timer))
        {
            lock.unlock();
            delete timer;
            lock.lock();
        }
    }

    // Timers that listeners added during this pass keep the thread alive and bound the wait.
    for (BTimer* timer : timers)
    {
        if (pass.Contains(timer) || timer->active.load() == 0)
            continue;
        ++activeCount;
        if (timer->nextDue != 0 && BClock::isBefore(timer->nextDue, next))
            next = BClock::isBefore(now, timer->nextDue) ? timer->nextDue : now + 1;
    }

    if (activeCount == 0 && thread)
        thread->requestTermination();
    return next - now;
}

void BTimerManagerState::dropAll()
{
    std::vector<BTimer*> toDelete;
    {
        std::lock_guard<std::mutex> lock(guard);
        for (int i = timers.Count() - 1; i >= 0; --i)
        {
            BTimer* timer = timers.Get(i);
            timer->active.store(0);
            // A timer inside its listener (a manager thread that was given up) is left to that
            // thread, which drops it when the listener returns.
            if (timer->firing.load() != 0)
                continue;
            if (letGo(timer))
                toDelete.push_back(timer);
        }
    }
    for (BTimer* timer : toDelete)
        delete timer;
}

// ---- manager --------------------------------------------------------------------------------

BTimerManager* BTimerManager::getInstance()
{
    std::lock_guard<std::mutex> lock(instanceMutex());
    BTimerManager*& instance = instancePointer();
    if (instance == nullptr)
        instance = new BTimerManager(); // owned by the AutoDelete registry
    return instance;
}

BTimerManager::BTimerManager() : BThread(BString("BTimerManager")), state(std::make_shared<BTimerManagerState>())
{
    state->thread = shared();
}

BTimerManager::~BTimerManager()
{
    {
        std::lock_guard<std::mutex> lock(instanceMutex());
        if (instancePointer() == this)
            instancePointer() = nullptr;
    }
    {
        std::lock_guard<std::mutex> loop(state->loopMutex);
        state->closing = true;
    }
    // The thread goes first, so that no pass runs while the list is dismantled.
    terminate();
    stop();
    state->dropAll();
}

void BTimerManager::addTimer(BTimer* timer)
{
    if (timer == nullptr)
        return;
    BLockGuard lock(state->timersLock);
    state->add(timer, state);
    bool startThread = false;
    {
        std::lock_guard<std::mutex> loop(state->loopMutex);
        if (state->closing)
            return;
        if (state->loopActive)
            state->thread->terminated.store(false); // a loop about to end goes on instead
        else
            startThread = state->loopActive = true;
    }
    if (!startThread)
    {
        wake();
        return;
    }
    if (!start())
    {
        std::lock_guard<std::mutex> loop(state->loopMutex);
        state->loopActive = false;
    }
}

int BTimerManager::servicingThreads() const
{
    return state->loops.load();
}

int BTimerManager::timerCount() const
{
    std::lock_guard<std::mutex> lock(state->guard);
    return state->timers.Count();
}

void BTimerManager::run()
{
    // Copies, so that a thread given up at shutdown never needs the object again.
    const std::shared_ptr<BTimerManagerState> timers = state;
    const std::shared_ptr<BThread::Shared> thread = shared();
    BTimerManagerState::servicedOnThisThread() = timers.get();
    // Whether to go on is decided under loopMutex, against addTimer (see there).
    const auto goOn = [&timers, &thread] {
        std::lock_guard<std::mutex> loop(timers->loopMutex);
        if (!thread->terminated.load())
            return true;
        timers->loopActive = false;
        timers->loops.fetch_sub(1);
        return false;
    };
    timers->loops.fetch_add(1);
    while (goOn())
    {
        const std::uint32_t wait = timers->service();
        if (!goOn())
            break;
        thread->wakeEvent.wait(static_cast<int>(std::clamp<std::uint32_t>(wait, 1, kMaxWaitMs)));
    }
    BTimerManagerState::servicedOnThisThread() = nullptr;
}
