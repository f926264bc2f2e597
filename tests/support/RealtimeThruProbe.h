// RealtimeThruProbe: the manager's data listener for real-time checks of the data path. It flags
// the thread that delivers (see RealtimeGuard) on every call, so that all that thread does from
// then on counts, the thru sends after the listener included, and counts the calls.
#pragma once

#include "midi/MidiManagerListeners.h"
#include "support/RealtimeGuard.h"

#include <atomic>

namespace lumo_test
{
class RealtimeThruProbe : public MidiManagerDataListener
{
public:
    void midiDataReceived(int, std::int64_t, const unsigned char*, int, int*) override
    {
        RealtimeGuard::flagCurrentThread();
        calls.fetch_add(1, std::memory_order_relaxed);
    }
    int callCount() const { return calls.load(); }

private:
    std::atomic<int> calls{0};
};
} // namespace lumo_test
