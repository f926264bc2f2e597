#include "base/BEvent.h"

#include <chrono>
#include <condition_variable>
#include <mutex>

struct BEvent::Handle
{
    std::mutex mutex;
    std::condition_variable condition;
    bool signalled = false;
};

BEvent::BEvent() : handle(std::make_unique<Handle>())
{
}

BEvent::~BEvent() = default;

void BEvent::signal()
{
    {
        std::lock_guard<std::mutex> guard(handle->mutex);
        handle->signalled = true;
    }
    handle->condition.notify_one();
}

bool BEvent::wait(int timeoutMs)
{
    std::unique_lock<std::mutex> guard(handle->mutex);
    const auto isSignalled = [this] { return handle->signalled; };
    if (timeoutMs < 0)
        handle->condition.wait(guard, isSignalled);
    else if (!handle->condition.wait_for(guard, std::chrono::milliseconds(timeoutMs), isSignalled))
        return false;
    // Auto-reset: this waiter consumes the signal.
    handle->signalled = false;
    return true;
}
