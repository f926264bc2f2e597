#include "midi/MidiDataPathGuard.h"

#include <chrono>
#include <thread>

namespace
{
// Readers stay inside for one message; a short spin usually suffices, then sleep politely.
void pause(int round)
{
    if (round < 64)
        std::this_thread::yield();
    else
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}
} // namespace

MidiDataPathGuard::MidiDataPathGuard() = default;

MidiDataPathGuard::~MidiDataPathGuard() = default;

bool MidiDataPathGuard::insideReader()
{
    return depth > 0;
}

void MidiDataPathGuard::retireHolder(std::unique_ptr<Holder> holder)
{
    std::vector<Retired> freed;
    {
        std::lock_guard<std::mutex> guard(mutex);
        retired.push_back(Retired{epoch.load(std::memory_order_seq_cst), std::move(holder)});
        collectSafe(freed);
    }
    // freed is destroyed here, outside the mutex: destructors may call back into the manager.
}

void MidiDataPathGuard::reclaim()
{
    std::vector<Retired> freed;
    std::lock_guard<std::mutex> guard(mutex);
    collectSafe(freed);
}

void MidiDataPathGuard::collectSafe(std::vector<Retired>& out)
{
    // Two rounds: with no reader inside, an object retired just now is freed in the second.
    for (int round = 0; round < 2 && !retired.empty(); ++round)
    {
        const std::uint32_t current = epoch.load(std::memory_order_seq_cst);
        // The slot shared by the previous and the next epoch: readers of the previous epoch.
        if (readers[(current + 1) & 1U].count.load(std::memory_order_seq_cst) != 0)
            return;
        bool youngLeft = false;
        for (auto it = retired.begin(); it != retired.end();)
        {
            if (it->epoch != current)
            {
                out.push_back(std::move(*it));
                it = retired.erase(it);
            }
            else
            {
                youngLeft = true;
                ++it;
            }
        }
        if (!youngLeft)
            return;
        epoch.store(current + 1, std::memory_order_seq_cst);
    }
}

bool MidiDataPathGuard::synchronize()
{
    if (insideReader())
    {
        reclaim();
        return false;
    }
    std::vector<Retired> freed;
    {
        std::lock_guard<std::mutex> guard(mutex);
        const std::uint32_t current = epoch.load(std::memory_order_seq_cst);
        for (int round = 0; readers[(current + 1) & 1U].count.load(std::memory_order_seq_cst) != 0; ++round)
            pause(round);
        epoch.store(current + 1, std::memory_order_seq_cst);
        for (int round = 0; readers[current & 1U].count.load(std::memory_order_seq_cst) != 0; ++round)
            pause(round);
        // Every reader of the epochs up to current has left: everything retired so far is free.
        freed.swap(retired);
    }
    return true;
}

std::size_t MidiDataPathGuard::retiredCount() const
{
    std::lock_guard<std::mutex> guard(mutex);
    return retired.size();
}
