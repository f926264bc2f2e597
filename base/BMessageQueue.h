// BMessageQueue: a bounded queue of byte messages (MIDI) from driver threads to one consumer thread.
//
// push never locks, allocates or waits: MIDI driver callbacks (the JACK process cycle, WinMM's
// and the ALSA reader's callbacks) call it. Several threads may push at once (two inputs open
// while the user switches between them); one thread pops. The storage, fixed slots of
// kSlotBytes, is allocated once by the constructor. A message longer than a slot is stored as
// consecutive pieces, in order; a message that does not fit whole is refused whole, so the
// consumer never sees part of one.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

class BMessageQueue
{
public:
    // A System Exclusive piece as the drivers hand them fits one slot.
    static constexpr int kSlotBytes = 1024;

    // capacity: the number of slots, rounded up to a power of two.
    explicit BMessageQueue(int capacity);
    ~BMessageQueue();

    BMessageQueue(const BMessageQueue&) = delete;
    BMessageQueue& operator=(const BMessageQueue&) = delete;

    // Any thread, real-time safe. The number of pieces stored (one per kSlotBytes); 0, with
    // nothing stored, when the queue has no room for the whole message, or for an empty one.
    int push(const std::uint8_t* data, int length) noexcept;

    // Consumer thread only: calls handle(data, length) for each stored piece, oldest first, until
    // the queue is empty. Returns the number of pieces handled.
    template <typename Handler>
    int popAll(Handler&& handle)
    {
        int count = 0;
        for (;;)
        {
            Slot& slot = slotAt(head);
            if (slot.sequence.load(std::memory_order_acquire) != head + 1)
                return count;
            handle(static_cast<const std::uint8_t*>(slot.bytes), slot.length);
            slot.sequence.store(head + capacity, std::memory_order_release);
            ++head;
            ++count;
        }
    }

private:
    struct Slot
    {
        std::atomic<std::size_t> sequence{0};
        int length = 0;
        std::uint8_t bytes[kSlotBytes];
    };
    Slot& slotAt(std::size_t position) noexcept { return slots[position & (capacity - 1)]; }

    const std::size_t capacity;
    std::unique_ptr<Slot[]> slots;
    // Next position to claim; producers claim several at once for a long message.
    std::atomic<std::size_t> tail{0};
    // Consumer's next position.
    std::size_t head = 0;
};
