// AlsaSendQueue: carries outgoing messages from the threads that send (the GUI, an input's
// delivery thread doing thru, JACK's process thread among them) to the sequencer's sender
// thread, which does the sequencer's writing, with its locks and its waits for a full pool.
//
// A bounded, lock-free queue for several producers and one consumer, allocated once: a ring of
// cells of kCellBytes each, a message taking as many consecutive cells as its bytes need. A
// producer reserves its cells with one compare-and-swap of the write position (after checking
// that all of them are free), copies its bytes and publishes each cell through its sequence
// number; the consumer takes messages in reservation order once all their cells are published,
// and frees the cells for the next round. Nothing waits: a message that does not fit is refused.
//
// Threads: push and the positions from any thread (no lock, no allocation, no system call); pop
// from one consumer thread at a time.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

class AlsaSendQueue
{
public:
    static constexpr std::size_t kCellBytes = 256;

    // cellCount is rounded up to a power of two (at least 2).
    explicit AlsaSendQueue(std::size_t cellCount);
    ~AlsaSendQueue();

    AlsaSendQueue(const AlsaSendQueue&) = delete;
    AlsaSendQueue& operator=(const AlsaSendQueue&) = delete;

    // Queues a copy of data with its tag. False (nothing queued) when size is 0, when the
    // message is larger than the whole queue, or when the free cells do not suffice now.
    bool push(std::uint64_t tag, const unsigned char* data, std::size_t size);
    // Consumer: the oldest message into tag and out, once it is completely written. False when
    // there is none, or the oldest one's producer is still copying (it wakes the consumer after).
    bool pop(std::uint64_t& tag, std::vector<unsigned char>& out);

    // Cell positions, monotonic: everything reserved before reserved() has been taken once
    // consumed() reached it.
    std::uint64_t reserved() const { return writePosition.load(std::memory_order_acquire); }
    std::uint64_t consumed() const { return readPosition.load(std::memory_order_acquire); }
    std::size_t capacityBytes() const { return cellCount * kCellBytes; }

private:
    struct Cell;

    const std::size_t cellCount;
    const std::size_t mask;
    std::unique_ptr<Cell[]> cells;
    std::atomic<std::uint64_t> writePosition{0};
    std::atomic<std::uint64_t> readPosition{0};
};
