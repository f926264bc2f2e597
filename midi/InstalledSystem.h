// InstalledSystem: where a backend's seam to its system (WinMMSystem, JackSystem, AlsaSystem)
// finds the system to call: the real one, unless a test installed a stand-in.
//
// Threads: install from a test's thread between its uses of the backend; get from any thread.
#pragma once

#include <atomic>

template <typename System>
class InstalledSystem
{
public:
    // real() is asked only when no stand-in is installed.
    System& get(System& (*real)()) const
    {
        System* const standIn = installed.load(std::memory_order_acquire);
        return standIn != nullptr ? *standIn : real();
    }

    // nullptr goes back to the real system.
    void install(System* standIn) { installed.store(standIn, std::memory_order_release); }

private:
    std::atomic<System*> installed{nullptr};
};
