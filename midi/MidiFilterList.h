// MidiFilterList: one of the MIDI manager's two filter lists (input or output filters), with the
// immutable copy the data path reads.
//
// Control threads add and remove filters under the list's own mutex; every change publishes a new
// snapshot through an atomic pointer and retires the old one through the data path's guard, so a
// driver thread walking a snapshot never sees it change or go. Filters are not owned.
#pragma once

#include "base/BList.h"
#include "midi/MidiDataPathGuard.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

template <typename Filter>
class MidiFilterList
{
public:
    enum class Order
    {
        FirstRegisteredFirst,
        LastRegisteredFirst
    };
    struct Snapshot
    {
        std::vector<Filter*> filters;
    };

    MidiFilterList(MidiDataPathGuard& guard_, Order order_) : guard(guard_), order(order_), snapshot(new Snapshot) {}
    // No reader may be inside any more.
    ~MidiFilterList() { delete snapshot.exchange(nullptr); }

    MidiFilterList(const MidiFilterList&) = delete;
    MidiFilterList& operator=(const MidiFilterList&) = delete;

    // Unique add; publishes at once.
    void add(Filter* filter)
    {
        std::lock_guard<std::mutex> hold(mutex);
        if (filter == nullptr || filters.Contains(filter))
            return;
        filters.Add(filter);
        publish();
    }

    // Removal by identity; returns once no driver thread can still be inside the filter.
    void remove(Filter* filter)
    {
        {
            std::lock_guard<std::mutex> hold(mutex);
            const int i = filters.IndexOf(filter);
            if (i < 0)
                return;
            filters.Delete(i);
            publish();
        }
        guard.synchronize();
    }

    // Drops every filter (no reader may be inside any more).
    void clear()
    {
        std::lock_guard<std::mutex> hold(mutex);
        filters.Clear();
    }

    // The data path's view, in calling order; read inside a MidiDataPathGuard::Reader.
    const Snapshot* current() const noexcept { return snapshot.load(std::memory_order_acquire); }

private:
    void publish()
    {
        std::unique_ptr<Snapshot> next(new Snapshot);
        next->filters.assign(filters.begin(), filters.end());
        if (order == Order::LastRegisteredFirst)
            std::reverse(next->filters.begin(), next->filters.end());
        std::unique_ptr<const Snapshot> old(snapshot.exchange(next.release(), std::memory_order_acq_rel));
        guard.retire(std::move(old));
    }

    MidiDataPathGuard& guard;
    const Order order;
    std::mutex mutex;
    BList<Filter*> filters;
    std::atomic<const Snapshot*> snapshot;
};
