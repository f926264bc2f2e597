// BLock: a recursive mutual-exclusion lock, and BLockGuard, the scope guard every user takes
// it through.
//
// The owning thread may take the lock again and must release it as often as it took it.
// Not copyable: the lock's identity is what callers synchronise on.
#pragma once

#include <memory>

class BLock
{
public:
    BLock();
    virtual ~BLock();

    BLock(const BLock&) = delete;
    BLock& operator=(const BLock&) = delete;

    // Blocks until the calling thread owns the lock (at once when it already owns it).
    void lock();
    // Releases one level of ownership; only the owning thread may call it.
    void unlock();

private:
    // The platform's lock, kept off the object so the header needs no system headers.
    struct Section;
    std::unique_ptr<Section> section;
};

// Holds a BLock for the guard's scope and releases it on every exit path, exceptions included.
class BLockGuard
{
public:
    explicit BLockGuard(BLock& lockToHold) : held(lockToHold) { held.lock(); }
    ~BLockGuard() { held.unlock(); }

    BLockGuard(const BLockGuard&) = delete;
    BLockGuard& operator=(const BLockGuard&) = delete;

private:
    BLock& held;
};
