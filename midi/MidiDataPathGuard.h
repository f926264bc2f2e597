// MidiDataPathGuard: lets driver threads read the manager's routing data without locks while
// control threads replace it.
//
// The data path (an input driver's thread inside MidiManager::onMidiData) reads structures
// that the GUI and notifier threads replace: an input's thru targets, the filter lists, the
// output device objects. Readers never lock and never allocate; they only mark themselves as
// "inside" with a Reader scope (two atomic counter updates). Writers publish a new object with
// an atomic pointer store and hand the old one to retire(); it is deleted only once no reader
// that could have loaded it is still inside.
//
// The scheme is a two-slot epoch: readers count themselves into the slot of the epoch they
// saw; a writer may advance the epoch only when the slot it is about to reuse is empty, and an
// object retired in epoch e is freed once the epoch has moved past e and the slot of e has
// drained. retire() and reclaim() never wait; synchronize() waits until every reader that is
// inside now has left (used before a listener or filter that was removed may be destroyed).
//
// Threads: Reader on any thread, nesting allowed. retire/reclaim/synchronize on any thread;
// synchronize from inside a Reader (a data listener calling back into the manager) cannot wait
// for itself and only reclaims.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

class MidiDataPathGuard
{
public:
    MidiDataPathGuard();
    // Frees everything still retired; no reader may be inside any more.
    ~MidiDataPathGuard();

    MidiDataPathGuard(const MidiDataPathGuard&) = delete;
    MidiDataPathGuard& operator=(const MidiDataPathGuard&) = delete;

    // Scope of one reader. Cheap: no allocation, no lock.
    class Reader
    {
    public:
        explicit Reader(MidiDataPathGuard& guard) noexcept : owner(guard), slot(guard.enter()) {}
        ~Reader() { owner.leave(slot); }
        Reader(const Reader&) = delete;
        Reader& operator=(const Reader&) = delete;

    private:
        MidiDataPathGuard& owner;
        const unsigned slot;
    };

    // Takes an object that readers can no longer reach (already unpublished) and deletes it
    // as soon as no reader can hold it any more, possibly at once. Never waits.
    template <typename T>
    void retire(std::unique_ptr<T> object)
    {
        if (object)
            retireHolder(std::unique_ptr<Holder>(new HolderOf<T>(std::move(object))));
    }

    // Deletes what is safe to delete now. Never waits.
    void reclaim();

    // Waits until every reader inside at the time of the call has left, then deletes everything
    // retired before the call. From inside a reader on this thread it cannot wait: it only
    // reclaims and returns false.
    bool synchronize();

    // Objects retired and not yet deleted (for tests and diagnostics).
    std::size_t retiredCount() const;

    // True while the calling thread is inside a Reader of any guard.
    static bool insideReader();

private:
    struct Holder
    {
        virtual ~Holder() = default;
    };
    template <typename T>
    struct HolderOf : Holder
    {
        explicit HolderOf(std::unique_ptr<T> p) : object(std::move(p)) {}
        std::unique_ptr<T> object;
    };
    struct Retired
    {
        std::uint32_t epoch;
        std::unique_ptr<Holder> holder;
    };

    unsigned enter() noexcept
    {
        for (;;)
        {
            const std::uint32_t seen = epoch.load(std::memory_order_seq_cst);
            const unsigned slot = seen & 1U;
            readers[slot].count.fetch_add(1, std::memory_order_seq_cst);
            if (epoch.load(std::memory_order_seq_cst) == seen)
            {
                ++depth;
                return slot;
            }
            // The epoch moved between the two loads: count into the new slot instead.
            readers[slot].count.fetch_sub(1, std::memory_order_seq_cst);
        }
    }
    void leave(unsigned slot) noexcept
    {
        --depth;
        readers[slot].count.fetch_sub(1, std::memory_order_seq_cst);
    }

    void retireHolder(std::unique_ptr<Holder> holder);
    // Under mutex: frees what is safe into out (destroyed by the caller outside the mutex).
    void collectSafe(std::vector<Retired>& out);

    struct alignas(64) Slot
    {
        std::atomic<int> count{0};
    };
    alignas(64) std::atomic<std::uint32_t> epoch{0};
    Slot readers[2];

    mutable std::mutex mutex;
    std::vector<Retired> retired;

    // Readers the calling thread is inside (constant-initialised: no TLS wrapper on the hot path).
    static inline thread_local int depth = 0;
};
