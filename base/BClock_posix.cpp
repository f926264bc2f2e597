#include "base/BClock.h"

#include <chrono>

namespace
{
// The monotonic clock already ticks far finer than 1 ms here, so nothing needs raising.
std::chrono::steady_clock::time_point clockOrigin()
{
    static const std::chrono::steady_clock::time_point origin = std::chrono::steady_clock::now();
    return origin;
}
} // namespace

std::uint32_t BClock::now()
{
    const auto origin = clockOrigin();
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - origin);
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(elapsed.count()));
}
