// AutoDeleteSingleton: the one lifecycle of the library's AutoDelete singletons (the MIDI manager,
// the alias manager, the router, the WinMM factory): created on first use, deleted by AutoDelete::deleteAll, never
// handed out again in the same lifetime once its destruction has begun.
//
// get() checks in one order for all of them: destroyed in this lifetime → throw the singleton's
// own text; existing → return it; else create it under a recursive creation lock (creating the
// alias manager creates the MIDI manager, whose construction asks for the alias manager again
// and gets the one being built, which its constructor published). publish() lets a constructor make the
// instance visible before it calls out; retire() is the destructor's first step.
//
// Threads: any. The slot is a namespace-scope object of the singleton's source file; its lock is
// deliberately never destroyed, so a late caller during static destruction still finds it.
#pragma once

#include "base/AutoDelete.h"
#include "base/BLock.h"
#include "base/Exception.h"

#include <atomic>

template <typename T>
class AutoDeleteSingleton
{
public:
    // The instance, made by create() (which must publish it, or return it) when there is none.
    template <typename Create>
    T* get(const char* afterDestructionText, Create&& create)
    {
        if (tombstone.isMarked())
            throw Exception(afterDestructionText);
        if (T* existing = instance.load())
            return existing;
        BLockGuard hold(creationLock());
        if (tombstone.isMarked())
            throw Exception(afterDestructionText);
        if (T* existing = instance.load())
            return existing;
        T* created = create();
        instance.store(created);
        return created;
    }

    // The instance if it exists (also while it is being destroyed, until withdraw()).
    T* peek() const { return instance.load(); }

    // Makes the instance visible before its constructor returns.
    void publish(T* object) { instance.store(object); }

    // From here on get() throws until a new lifetime begins; peek() still finds the instance.
    void markDestroyed() { tombstone.mark(); }

    // peek() finds nothing any more.
    void withdraw() { instance.store(nullptr); }

    // Tests only: get() may create the singleton again in this lifetime.
    void forgetDestruction() { tombstone.clear(); }

private:
    static BLock& creationLock()
    {
        static BLock* const lock = new BLock();
        return *lock;
    }

    std::atomic<T*> instance{nullptr};
    AutoDeleteTombstone tombstone;
};
