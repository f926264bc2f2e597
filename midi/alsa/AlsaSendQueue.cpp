#include "midi/alsa/AlsaSendQueue.h"

#include <algorithm>
#include <cstring>

// A cell is free for the write position p when its sequence is p, published when it is p + 1;
// the consumer frees it for the next round with p + cellCount.
struct AlsaSendQueue::Cell
{
    std::atomic<std::uint64_t> sequence{0};
    // Meaningful in a message's first cell.
    std::uint64_t tag = 0;
    std::size_t size = 0;
    unsigned char bytes[kCellBytes] = {};
};

namespace
{
std::size_t roundUpToPowerOfTwo(std::size_t count)
{
    std::size_t result = 2;
    while (result < count)
        result <<= 1;
    return result;
}

std::size_t cellsFor(std::size_t size)
{
    return (size + AlsaSendQueue::kCellBytes - 1) / AlsaSendQueue::kCellBytes;
}
} // namespace

AlsaSendQueue::AlsaSendQueue(std::size_t count)
    : cellCount(roundUpToPowerOfTwo(count)), mask(cellCount - 1), cells(new Cell[cellCount])
{
    for (std::size_t i = 0; i < cellCount; ++i)
        cells[i].sequence.store(i, std::memory_order_relaxed);
}

AlsaSendQueue::~AlsaSendQueue() = default;

bool AlsaSendQueue::push(std::uint64_t tag, const unsigned char* data, std::size_t size)
{
    if (data == nullptr || size == 0 || size > capacityBytes())
        return false;
    const std::size_t needed = cellsFor(size);
    std::uint64_t position = writePosition.load(std::memory_order_relaxed);
    for (;;)
    {
        bool stale = false;
        for (std::size_t i = 0; i < needed && !stale; ++i)
        {
            const std::uint64_t wanted = position + i;
            const std::uint64_t sequence = cells[wanted & mask].sequence.load(std::memory_order_acquire);
            const auto difference = static_cast<std::int64_t>(sequence - wanted);
            if (difference < 0)
                return false; // still holds a message of the round before: full
            stale = difference > 0;
        }
        // Cells seen free stay free until someone moves the write position past them, and only
        // the one whose exchange below succeeds does.
        if (stale)
            position = writePosition.load(std::memory_order_relaxed);
        else if (writePosition.compare_exchange_weak(position, position + needed, std::memory_order_acq_rel,
                                                     std::memory_order_relaxed))
            break;
    }
    Cell& first = cells[position & mask];
    first.tag = tag;
    first.size = size;
    for (std::size_t i = 0; i < needed; ++i)
    {
        const std::size_t offset = i * kCellBytes;
        std::memcpy(cells[(position + i) & mask].bytes, data + offset, std::min(kCellBytes, size - offset));
    }
    for (std::size_t i = 0; i < needed; ++i)
        cells[(position + i) & mask].sequence.store(position + i + 1, std::memory_order_release);
    return true;
}

bool AlsaSendQueue::pop(std::uint64_t& tag, std::vector<unsigned char>& out)
{
    const std::uint64_t position = readPosition.load(std::memory_order_relaxed);
    Cell& first = cells[position & mask];
    if (first.sequence.load(std::memory_order_acquire) != position + 1)
        return false;
    const std::size_t needed = cellsFor(first.size);
    const std::uint64_t last = position + needed - 1;
    if (cells[last & mask].sequence.load(std::memory_order_acquire) != last + 1)
        return false;
    tag = first.tag;
    out.resize(first.size);
    for (std::size_t i = 0; i < needed; ++i)
    {
        const std::size_t offset = i * kCellBytes;
        std::memcpy(out.data() + offset, cells[(position + i) & mask].bytes, std::min(kCellBytes, out.size() - offset));
    }
    for (std::size_t i = 0; i < needed; ++i)
        cells[(position + i) & mask].sequence.store(position + i + cellCount, std::memory_order_release);
    readPosition.store(position + needed, std::memory_order_release);
    return true;
}
