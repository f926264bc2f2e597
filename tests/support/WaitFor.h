// Helpers for tests that watch other threads: polling with a deadline and a stopwatch.
#pragma once

#include <chrono>
#include <thread>

namespace lumo_test
{
// Milliseconds elapsed on the steady clock since a start point; independent of the library clock.
class Stopwatch
{
public:
    Stopwatch() : start(std::chrono::steady_clock::now()) {}
    long long elapsedMs() const
    {
        return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start)
            .count();
    }
    void restart() { start = std::chrono::steady_clock::now(); }

private:
    std::chrono::steady_clock::time_point start;
};

// Polls condition every millisecond until it holds or timeoutMs passed; returns its last value.
// Deadlines are generous on purpose: a loaded machine, sanitizers and Wine are slow.
template <typename Condition>
bool waitFor(Condition condition, long long timeoutMs = 5000)
{
    const Stopwatch watch;
    while (!condition())
    {
        if (watch.elapsedMs() > timeoutMs)
            return condition();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}
} // namespace lumo_test
