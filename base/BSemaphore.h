// BSemaphore: a counting semaphore whose release never takes a lock, never allocates and never
// waits, so that a real-time thread (a MIDI driver's callback) may wake a worker with it.
//
// release() adds one to the count; wait() takes one, waiting while the count is zero. Any thread
// may release; waiting is for the semaphore's owner. Not copyable.
#pragma once

#include <memory>

class BSemaphore
{
public:
    BSemaphore();
    ~BSemaphore();

    BSemaphore(const BSemaphore&) = delete;
    BSemaphore& operator=(const BSemaphore&) = delete;

    // Lock-free and wait-free for the caller (a system call only when somebody waits).
    void release() noexcept;
    // Waits until the count is above zero, then takes one.
    void wait() noexcept;

private:
    struct Handle;
    std::unique_ptr<Handle> handle;
};
