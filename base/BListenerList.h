// BListenerList: listeners (not owned) registered with one object, and the calls made to them.
//
// forEach calls every listener in registration order (or last registered first) that is still
// registered when its turn comes, without holding any lock during the call, so a listener may
// add or remove listeners, itself included. remove() returns only when no other thread is
// still inside a call to that listener, so the caller may destroy the listener right after it;
// a listener that removes itself from inside its own call (same thread) is not waited for.
//
// Threads: every operation on any thread. Because remove() waits, a listener must not wait,
// inside its call, for a thread that may be removing it (hand such work over instead).
#pragma once

#include "base/BList.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

template <typename L>
class BListenerList
{
public:
    BListenerList() = default;
    BListenerList(const BListenerList&) = delete;
    BListenerList& operator=(const BListenerList&) = delete;

    // Appends listener unless it is null or already registered; true when added.
    bool add(L* listener)
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (listener == nullptr || listeners.Contains(listener))
            return false;
        listeners.Add(listener);
        return true;
    }

    // Unregisters listener, then waits until no other thread is inside a call to it. True when
    // it was registered.
    bool remove(L* listener)
    {
        std::unique_lock<std::mutex> lock(mutex);
        const int position = listeners.IndexOf(listener);
        if (position >= 0)
            listeners.Delete(position);
        const std::thread::id self = std::this_thread::get_id();
        callEnded.wait(lock, [&] {
            return std::none_of(calls.begin(), calls.end(),
                                [&](const Call& c) { return c.listener == listener && c.thread != self; });
        });
        return position >= 0;
    }

    // Unregisters every listener (without waiting: for the owner's destruction).
    void clear()
    {
        std::lock_guard<std::mutex> lock(mutex);
        listeners.Clear();
    }

    bool contains(L* listener) const
    {
        std::lock_guard<std::mutex> lock(mutex);
        return listeners.Contains(listener);
    }

    int count() const
    {
        std::lock_guard<std::mutex> lock(mutex);
        return listeners.Count();
    }

    // call(listener) for each listener registered now and still registered when its turn comes.
    // An exception from a call ends the walk and propagates.
    template <typename F>
    void forEach(bool lastFirst, F&& call)
    {
        std::vector<L*> walk;
        {
            std::lock_guard<std::mutex> lock(mutex);
            walk.assign(listeners.begin(), listeners.end());
        }
        if (lastFirst)
            std::reverse(walk.begin(), walk.end());
        for (L* listener : walk)
        {
            CallScope scope(*this, listener);
            if (scope.admitted())
                call(listener);
        }
    }

private:
    struct Call
    {
        L* listener;
        std::thread::id thread;
    };

    // Marks one call as under way while it lasts (exceptions included).
    class CallScope
    {
    public:
        CallScope(BListenerList& list, L* listener) : owner(list), entry{listener, std::this_thread::get_id()}
        {
            std::lock_guard<std::mutex> lock(owner.mutex);
            entered = owner.listeners.Contains(listener);
            if (entered)
                owner.calls.push_back(entry);
        }
        ~CallScope()
        {
            if (!entered)
                return;
            {
                std::lock_guard<std::mutex> lock(owner.mutex);
                auto found = std::find_if(owner.calls.begin(), owner.calls.end(), [this](const Call& c) {
                    return c.listener == entry.listener && c.thread == entry.thread;
                });
                if (found != owner.calls.end())
                    owner.calls.erase(found);
            }
            owner.callEnded.notify_all();
        }
        CallScope(const CallScope&) = delete;
        CallScope& operator=(const CallScope&) = delete;
        bool admitted() const { return entered; }

    private:
        BListenerList& owner;
        const Call entry;
        bool entered = false;
    };

    mutable std::mutex mutex;
    std::condition_variable callEnded;
    BList<L*> listeners;
    // Calls under way (a listener may be inside several threads' calls at once).
    std::vector<Call> calls;
};
