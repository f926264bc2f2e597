// BThread: a named worker thread with a cooperative stop and a bounded wait.
//
// A subclass overrides run() (or a RunTarget is set) and returns soon after terminated() turns
// true; terminate() requests that and wakes the thread through wake(). stop() requests the end
// and waits for it at most about 2 s after the first stop request. A thread that has not ended
// by then is given up: on Windows it is killed, elsewhere it is abandoned (left to run, never
// touched again by this object); either way stop() returns false.
//
// The state that the thread itself still reads after its run operation has returned (lock,
// flags, wake event) lives in a shared block that the running thread holds a reference to, so a
// thread that outlives its object (abandoned, or the object deleted from its own run) never
// reaches freed memory through the bookkeeping. A run body that may be abandoned must itself
// keep off its object once it is unblocked (see shared()).
//
// Subclasses whose run() uses their own members must call stop() in their own destructor:
// by the time ~BThread runs, those members are gone. Not copyable.
#pragma once

#include "base/BEvent.h"
#include "base/BLock.h"
#include "base/BString.h"

#include <atomic>
#include <cstdint>
#include <memory>

class BThread
{
public:
    // Told after the run operation has returned; on the finished thread, after the thread's
    // bookkeeping (the object is not running any more). Not called for a thread given up by
    // stop().
    class FinishListener
    {
    public:
        virtual ~FinishListener() = default;
        virtual void threadFinished(BThread* thread) = 0;
    };

    // Replaces the thread's own run operation when set; called on the new thread.
    class RunTarget
    {
    public:
        virtual ~RunTarget() = default;
        virtual void run(BThread* thread) = 0;
    };

    // The state shared between the object and the threads it starts (see above). Run bodies
    // that must stay safe after being abandoned copy the pointer (shared()) and use only it.
    struct Shared
    {
        // Guards the start and finish bookkeeping (threadId, handle, running).
        BLock lock;
        BEvent wakeEvent;
        std::atomic<bool> terminated{false};
        std::atomic<bool> running{false};
        std::atomic<int> runDepth{0};
        std::atomic<std::uint32_t> stopRequestTime{0};
        // Identifier of the thread started last, 0 when none; a finishing thread whose
        // identifier no longer matches (restarted, given up or detached) leaves the object alone.
        std::uint64_t threadId = 0;
        // Platform thread handle of that thread, null when none.
        void* handle = nullptr;

        // Sets terminated (recording the time of the first request) and wakes the thread.
        void requestTermination();
    };

    // Creates the wake event and the lock; copies the name (for identification only).
    explicit BThread(const BString& threadName);
    // Requests the end, then stop(): may block for about 2 s when run() does not return.
    virtual ~BThread();

    BThread(const BThread&) = delete;
    BThread& operator=(const BThread&) = delete;

    // Requests the end: sets terminated() (recording the time of the first request), then
    // wake(). Any thread.
    virtual void terminate();
    // Signals the wake event that run() waits on. Any thread.
    virtual void wake();
    // The thread body; does nothing here. Must return soon after terminated() is set. An
    // exception that escapes it is reported (BErrorReport) and ends the run like a return.
    virtual void run();

    // Starts a thread for this object (again after a finished one). False when the system
    // could not create it; the object is then finished. Any thread; on a thread this object
    // started, or while an earlier thread is still stopping, that thread runs on alone and its
    // end no longer affects this object.
    bool start();

    // Requests the end and waits at most until about 2000 ms after the first stop request
    // (about 100 ms more when that request is already older than that). True when the thread
    // ended by itself (or was not running); false when it was given up. On the thread itself,
    // or for a deleteWhenDone thread, only requests the end and returns true at once.
    bool stop();

    // A stop has been requested or the run operation has finished; cleared by start().
    bool terminated() const { return state->terminated.load(); }
    // A system thread exists for this object.
    bool running() const { return state->running.load(); }
    // 1 while the run operation executes.
    int runDepth() const { return state->runDepth.load(); }
    // Library-clock time of the first stop request.
    std::uint32_t stopRequestTime() const { return state->stopRequestTime.load(); }
    // The event run() waits on; signalled by wake().
    BEvent& wakeEvent() { return state->wakeEvent; }
    // True when called on a thread this object started.
    bool isCurrentThread() const;

    // Sleeps the calling thread for ms milliseconds (1 ms resolution).
    static void sleep(int ms);

    // Identification only; not passed to the system.
    const BString name;

    // Set before start(); read on the finishing thread.
    FinishListener* finishListener = nullptr;
    RunTarget* runTarget = nullptr;
    // The object deletes itself when its run operation returns, and stop() does not wait.
    std::atomic<bool> deleteWhenDone{false};
    // 0 system default, 1 highest, 2 time critical, 3 lowest, 4 idle, others normal. Set
    // before start().
    int priority = 0;
    // Stack size in bytes, 0 for the system default. Set before start().
    int stackSize = 0;

protected:
    // The shared state; a run body that may outlive its object keeps a copy.
    std::shared_ptr<Shared> shared() const { return state; }

private:
    friend struct BThreadNative;

    // What the new thread receives; owned by the thread entry.
    struct StartRecord
    {
        std::shared_ptr<Shared> state;
        BThread* thread = nullptr;
        std::uint64_t threadId = 0;
    };

    // The thread entry, called by the platform layer on the new thread.
    static void threadEntry(StartRecord* record);

    // Kills (or abandons) a thread that did not stop in time. Returns false.
    bool giveUp();

    std::shared_ptr<Shared> state;
};
