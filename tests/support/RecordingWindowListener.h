// A TWndMessageListener for tests: records every call with the thread it arrived on, can claim
// chosen messages as handled, and lets a test wait for messages.
#pragma once

#include "base/TWndMessageListener.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace lumo_test
{
class RecordingWindowListener : public TWndMessageListener
{
public:
    struct Call
    {
        TWindowHandle window;
        unsigned int message;
        std::uintptr_t wParam;
        std::intptr_t lParam;
        std::thread::id thread;
    };

    void windowCreated(TWindowHandle window) override
    {
        std::lock_guard<std::mutex> guard(mutex);
        createdWindows.push_back(window);
        createdOn = std::this_thread::get_id();
        changed.notify_all();
    }

    void onWindowMessage(TWindowHandle window, unsigned int message, std::uintptr_t wParam, std::intptr_t lParam,
                         int* handled) override
    {
        std::function<void(TWindowHandle, unsigned int)> hook;
        {
            std::lock_guard<std::mutex> guard(mutex);
            calls.push_back({window, message, wParam, lParam, std::this_thread::get_id()});
            if (message == handledMessage)
                *handled = 1;
            hook = onMessage;
            changed.notify_all();
        }
        if (hook)
            hook(window, message);
    }

    // Number of calls with that message so far.
    int count(unsigned int message) const
    {
        std::lock_guard<std::mutex> guard(mutex);
        int n = 0;
        for (const Call& c : calls)
            n += c.message == message ? 1 : 0;
        return n;
    }

    // Waits until at least n calls with that message arrived; false after timeoutMs.
    bool waitForCount(unsigned int message, int n, int timeoutMs = 5000) const
    {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
            int seen = 0;
            for (const Call& c : calls)
                seen += c.message == message ? 1 : 0;
            return seen >= n;
        });
    }

    std::vector<Call> callsOf(unsigned int message) const
    {
        std::lock_guard<std::mutex> guard(mutex);
        std::vector<Call> out;
        for (const Call& c : calls)
            if (c.message == message)
                out.push_back(c);
        return out;
    }

    std::thread::id creationThread() const
    {
        std::lock_guard<std::mutex> guard(mutex);
        return createdOn;
    }

    std::vector<TWindowHandle> created() const
    {
        std::lock_guard<std::mutex> guard(mutex);
        return createdWindows;
    }

    // The message this listener claims as handled (none by default).
    void handle(unsigned int message)
    {
        std::lock_guard<std::mutex> guard(mutex);
        handledMessage = message;
    }

    // Called after each message is recorded, on the message window thread, without the lock.
    void setHook(std::function<void(TWindowHandle, unsigned int)> hook)
    {
        std::lock_guard<std::mutex> guard(mutex);
        onMessage = std::move(hook);
    }

private:
    mutable std::mutex mutex;
    mutable std::condition_variable changed;
    std::vector<Call> calls;
    std::vector<TWindowHandle> createdWindows;
    std::thread::id createdOn;
    unsigned int handledMessage = 0xFFFFFFFFu;
    std::function<void(TWindowHandle, unsigned int)> onMessage;
};
} // namespace lumo_test
