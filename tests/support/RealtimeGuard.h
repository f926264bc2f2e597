// RealtimeGuard: shows whether code that must be real-time safe (a JACK process callback, a
// driver callback, a data listener called from one) allocates, frees, takes a mutex or sleeps.
//
// The test program that links support/RealtimeGuard.cpp gets its own malloc, calloc, realloc,
// free (and so operator new/delete), pthread_mutex_lock, pthread_rwlock_rdlock/wrlock and
// nanosleep, which pass every call to the C library and count those made by a thread while it is
// flagged. Nothing else changes. In sanitizer builds (which own those functions) the guard is
// not available and counts nothing, nor on Windows: check available() and skip.
//
// Use:
//   - Around code you call yourself:
//         lumo_test::RealtimeGuard::reset();
//         { lumo_test::RealtimeGuard::Scope realtime; listener.midiDataReceived(...); }
//         EXPECT_TRUE(lumo_test::RealtimeGuard::counts().clean()) << lumo_test::RealtimeGuard::counts();
//   - For a thread you do not own (JACK's process thread, a driver thread): flag it from inside,
//     e.g. from a data listener on its first call, with flagCurrentThread(); everything the
//     thread does from then on counts, the rest of that callback (thru sends) included, until
//     unflagCurrentThread() on that thread. Compare counts() before and after the traffic.
//   Link: target_sources(your_tests PRIVATE support/RealtimeGuard.cpp).
//
// Threads: flags are per thread; counts() and reset() from any thread.
#pragma once

#include <cstdint>
#include <ostream>

namespace lumo_test
{
class RealtimeGuard
{
public:
    struct Counts
    {
        std::uint64_t allocations = 0; // malloc, calloc, realloc (operator new goes through malloc)
        std::uint64_t frees = 0;       // free of a non-null pointer
        std::uint64_t locks = 0;       // pthread_mutex_lock, pthread_rwlock_rdlock / wrlock
        std::uint64_t sleeps = 0;      // nanosleep
        bool clean() const { return allocations == 0 && frees == 0 && locks == 0 && sleeps == 0; }
    };

    // Flags the calling thread for the scope's lifetime (nesting allowed).
    class Scope
    {
    public:
        Scope();
        ~Scope();
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;

    private:
        bool wasFlagged;
    };

    // False in sanitizer builds, where nothing is counted.
    static bool available();
    static void flagCurrentThread();
    static void unflagCurrentThread();
    static bool currentThreadFlagged();
    // What flagged threads did since the last reset.
    static Counts counts();
    static void reset();
};

inline std::ostream& operator<<(std::ostream& os, const RealtimeGuard::Counts& c)
{
    return os << c.allocations << " allocations, " << c.frees << " frees, " << c.locks << " locks, " << c.sleeps
              << " sleeps";
}
} // namespace lumo_test
