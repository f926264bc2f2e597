#include "support/RealtimeGuard.h"

#include <atomic>
#include <cstddef>
#include <ctime>
#include <pthread.h>

// Windows programs reach the C library through the DLL's import table, which symbols of the
// executable do not replace: no counting there either.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__) || defined(_WIN32)
#define LUMO_REALTIME_GUARD 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || __has_feature(memory_sanitizer)
#define LUMO_REALTIME_GUARD 0
#endif
#endif
#ifndef LUMO_REALTIME_GUARD
#define LUMO_REALTIME_GUARD 1
#endif

namespace
{
// Plain thread-locals of the executable: reading them allocates nothing (no lazy TLS block).
thread_local bool flagged = false;
std::atomic<std::uint64_t> allocations{0};
std::atomic<std::uint64_t> frees{0};
std::atomic<std::uint64_t> locks{0};
std::atomic<std::uint64_t> sleeps{0};

inline void count(std::atomic<std::uint64_t>& counter)
{
    if (flagged)
        counter.fetch_add(1, std::memory_order_relaxed);
}
} // namespace

namespace lumo_test
{
RealtimeGuard::Scope::Scope() : wasFlagged(flagged)
{
    flagged = true;
}

RealtimeGuard::Scope::~Scope()
{
    flagged = wasFlagged;
}

bool RealtimeGuard::available()
{
    return LUMO_REALTIME_GUARD != 0;
}

void RealtimeGuard::flagCurrentThread()
{
    flagged = true;
}

void RealtimeGuard::unflagCurrentThread()
{
    flagged = false;
}

bool RealtimeGuard::currentThreadFlagged()
{
    return flagged;
}

RealtimeGuard::Counts RealtimeGuard::counts()
{
    Counts c;
    c.allocations = allocations.load();
    c.frees = frees.load();
    c.locks = locks.load();
    c.sleeps = sleeps.load();
    return c;
}

void RealtimeGuard::reset()
{
    allocations.store(0);
    frees.store(0);
    locks.store(0);
    sleeps.store(0);
}
} // namespace lumo_test

#if LUMO_REALTIME_GUARD
#include <dlfcn.h>

namespace
{
// The C library's lock functions, looked up once (at start-up, before any test runs; lazily for
// a call made earlier), so that no lookup happens on a flagged thread.
template <class Function>
Function next(std::atomic<Function>& cache, const char* name)
{
    Function f = cache.load(std::memory_order_acquire);
    if (f == nullptr)
    {
        f = reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
        cache.store(f, std::memory_order_release);
    }
    return f;
}

using MutexLock = int (*)(pthread_mutex_t*);
using RwLock = int (*)(pthread_rwlock_t*);
std::atomic<MutexLock> nextMutexLock{nullptr};
std::atomic<RwLock> nextReadLock{nullptr};
std::atomic<RwLock> nextWriteLock{nullptr};

const bool resolved = [] {
    next(nextMutexLock, "pthread_mutex_lock");
    next(nextReadLock, "pthread_rwlock_rdlock");
    next(nextWriteLock, "pthread_rwlock_wrlock");
    return true;
}();
} // namespace

// The C library's own allocation entry points (glibc exports them): nothing here can recurse.
extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* pointer, std::size_t size);
void __libc_free(void* pointer);
int __nanosleep(const struct timespec* duration, struct timespec* remaining);

void* malloc(std::size_t size)
{
    count(allocations);
    return __libc_malloc(size);
}

void* calloc(std::size_t count_, std::size_t size)
{
    count(allocations);
    return __libc_calloc(count_, size);
}

void* realloc(void* pointer, std::size_t size)
{
    count(allocations);
    return __libc_realloc(pointer, size);
}

void free(void* pointer)
{
    if (pointer != nullptr)
        count(frees);
    __libc_free(pointer);
}

int pthread_mutex_lock(pthread_mutex_t* mutex)
{
    count(locks);
    return next(nextMutexLock, "pthread_mutex_lock")(mutex);
}

int pthread_rwlock_rdlock(pthread_rwlock_t* lock)
{
    count(locks);
    return next(nextReadLock, "pthread_rwlock_rdlock")(lock);
}

int pthread_rwlock_wrlock(pthread_rwlock_t* lock)
{
    count(locks);
    return next(nextWriteLock, "pthread_rwlock_wrlock")(lock);
}

int nanosleep(const struct timespec* duration, struct timespec* remaining)
{
    count(sleeps);
    return __nanosleep(duration, remaining);
}
}
#endif
