#include "base/BMessageQueue.h"

#include <algorithm>
#include <cstring>

namespace
{
std::size_t roundUpToPowerOfTwo(int value)
{
    std::size_t result = 2;
    while (result < static_cast<std::size_t>(std::max(value, 2)))
        result <<= 1;
    return result;
}
} // namespace

BMessageQueue::BMessageQueue(int capacity_, int slotBytes_)
    : capacity(roundUpToPowerOfTwo(capacity_)),
      slotBytes(static_cast<std::size_t>(std::max(slotBytes_, 1))),
      slots(new Slot[capacity]),
      bytes(new std::uint8_t[capacity * slotBytes])
{
    for (std::size_t i = 0; i < capacity; ++i)
        slots[i].sequence.store(i, std::memory_order_relaxed);
}

BMessageQueue::~BMessageQueue() = default;

int BMessageQueue::push(const std::uint8_t* data, int length, std::uint64_t tag) noexcept
{
    if (data == nullptr || length <= 0)
        return 0;
    const std::size_t pieces = (static_cast<std::size_t>(length) + slotBytes - 1) / slotBytes;
    if (pieces > capacity)
        return 0;

    // The last slot being free for this round means every one before it is too: the consumer
    // frees slots in order.
    std::uint64_t position = tail.load(std::memory_order_relaxed);
    for (;;)
    {
        const std::uint64_t last = position + pieces - 1;
        const std::uint64_t sequence = slotAt(last).sequence.load(std::memory_order_acquire);
        const auto lag = static_cast<std::int64_t>(sequence - last);
        if (lag < 0)
            return 0;   // full: the consumer has not freed that slot yet
        if (lag == 0)
        {
            if (tail.compare_exchange_weak(position, position + pieces, std::memory_order_acq_rel,
                                           std::memory_order_relaxed))
                break;
        }
        else
        {
            position = tail.load(std::memory_order_relaxed);
        }
    }

    Slot& first = slotAt(position);
    first.tag = tag;
    first.messageLength = length;
    for (std::size_t k = 0; k < pieces; ++k)
    {
        const std::size_t offset = k * slotBytes;
        const std::size_t count = std::min(slotBytes, static_cast<std::size_t>(length) - offset);
        std::memcpy(bytesAt(position + k), data + offset, count);
        slotAt(position + k).length = static_cast<int>(count);
    }
    // Published after every piece is copied: pop may look at the last slot before the first.
    for (std::size_t k = 0; k < pieces; ++k)
        slotAt(position + k).sequence.store(position + k + 1, std::memory_order_release);
    return static_cast<int>(pieces);
}

bool BMessageQueue::pop(std::uint64_t& tag, std::vector<std::uint8_t>& out)
{
    const std::uint64_t position = head.load(std::memory_order_relaxed);
    const Slot& first = slotAt(position);
    if (first.sequence.load(std::memory_order_acquire) != position + 1)
        return false;
    const auto length = static_cast<std::size_t>(first.messageLength);
    const std::size_t pieces = (length + slotBytes - 1) / slotBytes;
    const std::uint64_t last = position + pieces - 1;
    if (slotAt(last).sequence.load(std::memory_order_acquire) != last + 1)
        return false;
    tag = first.tag;
    out.resize(length);
    for (std::size_t k = 0; k < pieces; ++k)
    {
        const std::size_t offset = k * slotBytes;
        std::memcpy(out.data() + offset, bytesAt(position + k), std::min(slotBytes, length - offset));
    }
    for (std::size_t k = 0; k < pieces; ++k)
        slotAt(position + k).sequence.store(position + k + capacity, std::memory_order_release);
    head.store(position + pieces, std::memory_order_release);
    return true;
}
