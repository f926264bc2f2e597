// DetachableObserver: the pointer through which a backend's system thread (JACK's notification
// thread, the sequencer's reader) calls an observer that belongs to someone else, who takes it
// away before deleting it. detach() returns only once no call is under way and none can start,
// so the observer may be deleted right after it.
//
// Threads: call() from any thread; it takes no lock and never waits. detach() from a control
// thread, never from inside a call (it would wait for itself); it waits while a call is under
// way, which the observers here keep short (they only post).
#pragma once

#include <atomic>
#include <chrono>
#include <thread>

template <class Observer>
class DetachableObserver
{
public:
    explicit DetachableObserver(Observer* observer_) : observer(observer_) {}

    DetachableObserver(const DetachableObserver&) = delete;
    DetachableObserver& operator=(const DetachableObserver&) = delete;

    // Calls f with the observer unless it was detached.
    template <class F>
    void call(F&& f)
    {
        const Entered entered(calls);
        if (Observer* current = observer.load(std::memory_order_seq_cst))
            f(*current);
    }

    void detach()
    {
        // Each side stores, then loads what the other stores: only sequential consistency on all
        // four makes sure that a call which still saw the observer is seen here as under way.
        observer.store(nullptr, std::memory_order_seq_cst);
        while (calls.load(std::memory_order_seq_cst) != 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }

private:
    class Entered
    {
    public:
        explicit Entered(std::atomic<int>& count_) : count(count_) { count.fetch_add(1, std::memory_order_seq_cst); }
        ~Entered() { count.fetch_sub(1, std::memory_order_seq_cst); }
        Entered(const Entered&) = delete;
        Entered& operator=(const Entered&) = delete;

    private:
        std::atomic<int>& count;
    };

    std::atomic<Observer*> observer;
    std::atomic<int> calls{0};
};
