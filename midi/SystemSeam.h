// SystemSeam: where a backend's seam to its system (WinMMSystem, JackSystem, AlsaSystem) finds
// the system to call: the real one (System::real(), defined beside the real implementation),
// unless a test installed a stand-in. A seam class derives from SystemSeam<itself>.
//
// Threads: install from a test's thread between its uses of the backend (each seam says when);
// get from any thread.
#pragma once

#include <atomic>

template <typename System>
class SystemSeam
{
public:
    // The installed system: the one given to install(), else the real one.
    static System& get()
    {
        System* const standIn = installed.load(std::memory_order_acquire);
        return standIn != nullptr ? *standIn : System::real();
    }

    // Makes system (not owned) the one get() returns; null restores the real one.
    static void install(System* system) { installed.store(system, std::memory_order_release); }

private:
    static inline std::atomic<System*> installed{nullptr};
};
