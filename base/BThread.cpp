#include "base/BThread.h"

#include "base/BClock.h"
#include "base/BErrorReport.h"
#include "base/BThreadNative.h"

#include <exception>

namespace
{
// The shared state of the BThread whose thread is the calling one, null on other threads.
thread_local const BThread::Shared* currentThreadState = nullptr;

// Identifiers of started threads; never 0.
std::atomic<std::uint64_t> lastThreadId{0};

constexpr std::uint32_t kStopTimeoutMs = 2000;
// A stop requested long after the first request still gets this much time.
constexpr std::uint32_t kLateStopGraceMs = 100;
// The wait loop reads the clock only every this many 1 ms sleeps.
constexpr int kClockCheckEvery = 21;
} // namespace

void BThread::Shared::requestTermination()
{
    if (!terminated.exchange(true))
        stopRequestTime.store(BClock::now());
    wakeEvent.signal();
}

BThread::BThread(const BString& threadName) : name(threadName), state(std::make_shared<Shared>())
{
}

BThread::~BThread()
{
    // Not through terminate(): a subclass's override is already gone here.
    if (!state->terminated.exchange(true))
        state->stopRequestTime.store(BClock::now());
    state->wakeEvent.signal();
    stop();

    // Still running only when stop() could not wait (called on the thread itself, or a
    // deleteWhenDone thread deleted by someone else): detach, so that the finishing thread
    // neither touches nor deletes this object.
    BLockGuard guard(state->lock);
    if (state->running.load())
    {
        state->threadId = 0;
        state->running.store(false);
    }
}

void BThread::terminate()
{
    if (!state->terminated.exchange(true))
        state->stopRequestTime.store(BClock::now());
    wake();
}

void BThread::wake()
{
    state->wakeEvent.signal();
}

void BThread::run()
{
}

bool BThread::isCurrentThread() const
{
    return currentThreadState == state.get();
}

void BThread::sleep(int ms)
{
    BThreadNative::sleep(ms);
}

bool BThread::start()
{
    // Held across the creation so that a thread that finishes at once finds its identifier.
    BLockGuard guard(state->lock);
    state->running.store(true);
    state->terminated.store(false);
    state->runDepth.store(0);

    // A previous thread that is still on its way out keeps running, but no longer belongs to
    // this object's bookkeeping.
    if (state->handle != nullptr)
    {
        BThreadNative::release(state->handle);
        state->handle = nullptr;
    }

    auto record = std::make_unique<StartRecord>();
    record->state = state;
    record->thread = this;
    record->threadId = ++lastThreadId;
    const std::uint64_t id = record->threadId;
    state->threadId = id;

    void* handle = nullptr;
    if (!BThreadNative::create(record.get(), stackSize, priority, handle))
    {
        state->running.store(false);
        state->terminated.store(true);
        state->threadId = 0;
        state->handle = nullptr;
        return false;
    }
    record.release(); // now owned by the new thread
    state->handle = handle;
    return true;
}

void BThread::threadEntry(StartRecord* startRecord)
{
    const std::unique_ptr<StartRecord> record(startRecord);
    const std::shared_ptr<Shared> shared = record->state;
    currentThreadState = shared.get();

    BThread* const thread = record->thread;
    shared->runDepth.fetch_add(1);
    // An exception leaving the body would end the process; it ends only this thread's run.
    // The name is copied first: a body may have handed its object over before throwing.
    const BString name = thread->name;
    try
    {
        if (RunTarget* target = thread->runTarget)
            target->run(thread);
        else
            thread->run();
    }
    catch (const std::exception& error)
    {
        BErrorReport::report(name, BString(error.what()));
    }
    catch (...)
    {
        BErrorReport::report(name, BString("unknown exception"));
    }
    shared->runDepth.fetch_sub(1);

    FinishListener* listener = nullptr;
    bool deleteThread = false;
    {
        BLockGuard guard(shared->lock);
        // A mismatch means the object was restarted, gave this thread up or was destroyed
        // meanwhile: it must not be reached from here.
        if (shared->threadId != record->threadId)
        {
            currentThreadState = nullptr;
            return;
        }
        listener = thread->finishListener;
        deleteThread = thread->deleteWhenDone.load();
        shared->terminated.store(true);
        if (shared->handle != nullptr)
            BThreadNative::release(shared->handle);
        shared->handle = nullptr;
        shared->threadId = 0;
        shared->running.store(false);
    }

    if (listener != nullptr)
        listener->threadFinished(thread);
    currentThreadState = nullptr;
    if (deleteThread)
        delete thread;
}

bool BThread::stop()
{
    if (!state->running.load())
        return true;
    if (isCurrentThread())
    {
        terminate();
        return true;
    }
    terminate();
    if (deleteWhenDone.load())
        return true;

    std::uint32_t t0 = state->stopRequestTime.load();
    const std::uint32_t now = BClock::now();
    if (now - t0 > kStopTimeoutMs)
        t0 = now - (kStopTimeoutMs - kLateStopGraceMs);

    for (int i = 0; state->running.load(); ++i)
    {
        if (i % kClockCheckEvery == 0 && BClock::now() - t0 > kStopTimeoutMs)
            break;
        BThreadNative::sleep(1);
    }
    if (state->running.load())
        return giveUp();
    return true;
}

bool BThread::giveUp()
{
    {
        BLockGuard guard(state->lock);
        if (!state->running.load())
            return true; // finished while we decided
        BThreadNative::kill(state->handle);
        if (state->handle != nullptr)
            BThreadNative::release(state->handle);
        state->handle = nullptr;
        // From here on that thread's bookkeeping leaves this object alone.
        state->threadId = 0;
    }
    BThreadNative::sleep(10);
    state->running.store(false);
    BThreadNative::sleep(10);
    return false;
}
