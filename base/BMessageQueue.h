// BMessageQueue: a bounded queue of byte messages (MIDI) from any number of producer threads to
// one consumer thread: from driver threads to the incoming-message worker, and from the threads
// that send to the ALSA sequencer's sender thread.
//
// push never locks, allocates or waits: MIDI driver callbacks (the JACK process cycle, WinMM's
// and the ALSA reader's callbacks) call it, several at once (two inputs open while the user
// switches between them). The storage, a ring of fixed slots, is allocated once by the
// constructor. A message longer than a slot takes consecutive slots; a producer reserves them
// with one compare-and-swap of the write position (once the last of them is free), copies its
// bytes and publishes each slot through its sequence number. A message that does not fit whole
// is refused whole, so the consumer never sees part of one.
//
// The consumer takes either pieces (popAll: one per slot, as the drivers hand System Exclusive
// pieces on) or whole messages with the tag they were pushed with (pop), in reservation order.
//
// Threads: push, reserved and consumed from any thread; popAll and pop from one consumer thread
// at a time.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

class BMessageQueue
{
public:
    // A System Exclusive piece as the drivers hand them fits one slot of the default size.
    static constexpr int kSlotBytes = 1024;

    // capacity: the number of slots, rounded up to a power of two (at least 2).
    explicit BMessageQueue(int capacity, int slotBytes = kSlotBytes);
    ~BMessageQueue();

    BMessageQueue(const BMessageQueue&) = delete;
    BMessageQueue& operator=(const BMessageQueue&) = delete;

    // Any thread, real-time safe: stores a copy of the message with its tag. The number of slots
    // it took; 0, with nothing stored, for an empty message, one larger than the whole queue, or
    // when the free slots do not suffice now.
    int push(const std::uint8_t* data, int length, std::uint64_t tag = 0) noexcept;

    // Consumer: calls handle(data, length) for each stored piece, oldest first, until the queue
    // is empty (or the next piece is still being copied). Returns the number of pieces handled.
    template <typename Handler>
    int popAll(Handler&& handle)
    {
        int count = 0;
        for (std::uint64_t position = head.load(std::memory_order_relaxed);; ++position)
        {
            Slot& slot = slotAt(position);
            if (slot.sequence.load(std::memory_order_acquire) != position + 1)
                return count;
            handle(static_cast<const std::uint8_t*>(bytesAt(position)), slot.length);
            slot.sequence.store(position + capacity, std::memory_order_release);
            head.store(position + 1, std::memory_order_release);
            ++count;
        }
    }

    // Consumer: the oldest message, whole, into out with its tag. False when there is none, or
    // its producer is still copying it.
    bool pop(std::uint64_t& tag, std::vector<std::uint8_t>& out);

    // Slot positions, monotonic: everything reserved before reserved() has been taken once
    // consumed() reached it.
    std::uint64_t reserved() const { return tail.load(std::memory_order_acquire); }
    std::uint64_t consumed() const { return head.load(std::memory_order_acquire); }
    std::size_t capacityBytes() const { return capacity * slotBytes; }

private:
    // Free for position p when its sequence is p, published when it is p + 1; the consumer frees
    // it for the next round with p + capacity.
    struct Slot
    {
        std::atomic<std::uint64_t> sequence{0};
        int length = 0;               // this piece's bytes
        int messageLength = 0;        // the whole message's, in its first slot
        std::uint64_t tag = 0;        // in its first slot
    };
    Slot& slotAt(std::uint64_t position) noexcept { return slots[position & (capacity - 1)]; }
    std::uint8_t* bytesAt(std::uint64_t position) noexcept
    {
        return bytes.get() + (position & (capacity - 1)) * slotBytes;
    }

    const std::size_t capacity;
    const std::size_t slotBytes;
    std::unique_ptr<Slot[]> slots;
    std::unique_ptr<std::uint8_t[]> bytes;
    // Next position to reserve; producers reserve several at once for a long message.
    std::atomic<std::uint64_t> tail{0};
    // Consumer's next position.
    std::atomic<std::uint64_t> head{0};
};
