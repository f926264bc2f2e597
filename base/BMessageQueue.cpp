#include "base/BMessageQueue.h"

#include <algorithm>
#include <cstring>

namespace
{
std::size_t roundUpToPowerOfTwo(int value)
{
    std::size_t result = 1;
    while (result < static_cast<std::size_t>(value > 1 ? value : 1))
        result <<= 1;
    return result;
}
} // namespace

BMessageQueue::BMessageQueue(int capacity_)
    : capacity(roundUpToPowerOfTwo(capacity_)), slots(new Slot[capacity])
{
    for (std::size_t i = 0; i < capacity; ++i)
        slots[i].sequence.store(i, std::memory_order_relaxed);
}

BMessageQueue::~BMessageQueue() = default;

int BMessageQueue::push(const std::uint8_t* data, int length) noexcept
{
    if (data == nullptr || length <= 0)
        return 0;
    const std::size_t pieces = (static_cast<std::size_t>(length) + kSlotBytes - 1) / kSlotBytes;
    if (pieces > capacity)
        return 0;

    // Claim `pieces` consecutive positions. A slot is free for position p when its sequence is p
    // (bounded multi-producer queue); the last claimed slot being free means every one before it
    // is too, since the consumer frees slots in order.
    std::size_t position = tail.load(std::memory_order_relaxed);
    for (;;)
    {
        const std::size_t last = position + pieces - 1;
        const std::size_t sequence = slotAt(last).sequence.load(std::memory_order_acquire);
        const auto lag = static_cast<std::ptrdiff_t>(sequence - last);
        if (lag < 0)
            return 0;   // full: the consumer has not freed that slot yet
        if (lag == 0)
        {
            if (tail.compare_exchange_weak(position, position + pieces, std::memory_order_relaxed))
                break;
        }
        else
        {
            position = tail.load(std::memory_order_relaxed);
        }
    }

    for (std::size_t k = 0; k < pieces; ++k)
    {
        Slot& slot = slotAt(position + k);
        const std::size_t offset = k * kSlotBytes;
        const std::size_t count = std::min<std::size_t>(kSlotBytes, static_cast<std::size_t>(length) - offset);
        std::memcpy(slot.bytes, data + offset, count);
        slot.length = static_cast<int>(count);
        slot.sequence.store(position + k + 1, std::memory_order_release);
    }
    return static_cast<int>(pieces);
}
