// IncomingMessagePump: takes incoming MIDI messages off the driver's thread and handles them, in
// arrival order, on a thread of its own.
//
// What the program does with a message (the dump file's write, decoding, the display's strings)
// locks, allocates and may wait for the disk; a MIDI driver's callback (the JACK process cycle
// above all) must do none of that. push() only copies the bytes into a preallocated lock-free
// queue and wakes the worker. When the worker falls so far behind that the queue is full, the
// message is counted as lost and the first loss is reported once, on the worker thread.
//
// Threads: push from any thread (several at once is fine); drain and stop from a control thread.
// The handler and the loss report run on the worker. Not copyable.
#pragma once

#include "base/BMessageQueue.h"
#include "base/BSemaphore.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

class IncomingMessagePump
{
public:
    using Handler = std::function<void(const std::uint8_t* data, int length)>;
    using LossReport = std::function<void(std::uint64_t lostSoFar)>;

    // Slots of the queue: the worker may fall 0.4 s behind a flood of 10,000 messages a second
    // (a loaded machine) before anything is lost.
    static constexpr int kCapacity = 4096;

    IncomingMessagePump(Handler handler, LossReport onFirstLoss);
    // Handles what is queued, then ends the worker.
    ~IncomingMessagePump();

    IncomingMessagePump(const IncomingMessagePump&) = delete;
    IncomingMessagePump& operator=(const IncomingMessagePump&) = delete;

    // Real-time safe: queues the message (false when it was lost: the queue was full).
    bool push(const std::uint8_t* data, int length) noexcept;
    // Returns once every message pushed before the call has been handled (at once after stop).
    void drain();
    // Handles what is queued and ends the worker; later pushes are handled by nobody. Idempotent.
    void stop();

    std::uint64_t lostCount() const noexcept { return lost.load(); }

private:
    void run();

    const Handler handler;
    const LossReport onFirstLoss;
    BMessageQueue queue { kCapacity };
    BSemaphore wake;
    std::atomic<bool> stopping { false };
    std::atomic<std::uint64_t> lost { 0 };
    std::mutex progressLock;
    // Signalled after each pass; the queue's positions tell what was pushed and handled.
    std::condition_variable progress;
    bool finished = false;       // under progressLock
    std::thread worker;
};
