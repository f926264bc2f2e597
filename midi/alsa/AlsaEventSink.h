// AlsaEventSink: receives the MIDI bytes of one of our sequencer input ports, on the
// sequencer's reader thread. Implementations must not block for long: every port shares that
// thread.
#pragma once

#include <cstddef>
#include <cstdint>

class AlsaEventSink
{
public:
    virtual ~AlsaEventSink() = default;
    // One event turned back into MIDI bytes: either one or more short messages, or a SysEx
    // piece as the sender cut it (sysEx true; the first piece starts with F0, the last ends
    // with F7). timeMs is the sequencer queue's time when the event reached our port.
    virtual void alsaEvent(const unsigned char* data, std::size_t size, bool sysEx, std::int64_t timeMs) = 0;
};
