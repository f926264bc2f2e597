// DetachWhileInside: a hand-shake for "detaching an observer waits for a call under way". The
// observer's callback calls inside(); the first such call stays there until the test has started
// the detach on a thread of its own, then watches (for a while) whether that detach comes back
// before the call has left, which a correct detach never does.
//
//   DetachWhileInside probe;             // the observer's callback calls probe.inside()
//   ... make the system call the observer ...
//   EXPECT_TRUE(probe.detachWaitedForTheCall([&] { session.detachObserver(); }));
#pragma once

#include "support/WaitFor.h"

#include <atomic>
#include <functional>
#include <thread>

namespace lumo_test
{
class DetachWhileInside
{
public:
    // How long a call under way stays inside once the detach has started.
    static constexpr int kHoldMs = 300;

    // From the observer's callback, on the system's thread. Later calls pass straight through.
    void inside()
    {
        if (held.exchange(true))
            return;
        entered.store(true);
        waitFor([this] { return detachStarted.load(); }, 30000);
        returnedWhileInside.store(waitFor([this] { return detachReturned.load(); }, kHoldMs));
        left.store(true);
    }

    bool callEntered(int timeoutMs) const
    {
        return waitFor([this] { return entered.load(); }, timeoutMs);
    }

    // Waits (up to timeoutMs) for a call to be inside, runs detach on another thread while it is
    // held there, and tells whether detach returned only after the call had left.
    bool detachWaitedForTheCall(const std::function<void()>& detach, int timeoutMs = 15000)
    {
        if (!callEntered(timeoutMs))
            return false;
        std::thread detacher([&] {
            detachStarted.store(true);
            detach();
            detachReturned.store(true);
        });
        detacher.join();
        const bool waited = left.load() && !returnedWhileInside.load();
        // The held call must be gone before this object is.
        waitFor([this] { return left.load(); }, 30000);
        return waited;
    }

private:
    std::atomic<bool> held{false};
    std::atomic<bool> entered{false};
    std::atomic<bool> detachStarted{false};
    std::atomic<bool> detachReturned{false};
    std::atomic<bool> returnedWhileInside{false};
    std::atomic<bool> left{false};
};
} // namespace lumo_test
