// BClock: the library clock shared by the MIDI layer and the timers.
//
// Milliseconds since the clock's first use in the process, as an unsigned 32-bit value that
// wraps after about 49.7 days. The first use also asks the system for a 1 ms timer resolution
// for the rest of the process, so sleeps and waits of a few milliseconds are honoured.
// All functions may be called from any thread.
#pragma once

#include <cstdint>

class BClock
{
public:
    BClock() = delete;

    // Milliseconds since the first call (the first call returns 0 or thereabouts).
    static std::uint32_t now();

    // Wrap-safe ordering of two clock readings: true when a lies before b. Valid as long as the
    // two readings are less than about 24.8 days apart.
    static bool isBefore(std::uint32_t a, std::uint32_t b)
    {
        return static_cast<std::int32_t>(a - b) < 0;
    }

    // Milliseconds from since to now (wrap-safe, unsigned).
    static std::uint32_t elapsedSince(std::uint32_t since) { return now() - since; }
};
