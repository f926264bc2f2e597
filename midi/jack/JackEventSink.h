// JackEventSink: receives the MIDI events of one of our input ports, on JACK's process thread.
// Implementations must not allocate, lock or block.
#pragma once

#include <cstddef>
#include <cstdint>

class JackEventSink
{
public:
    virtual ~JackEventSink() = default;
    // One event as JACK carried it, with its time in milliseconds of the session's frame clock.
    virtual void jackEvent(const unsigned char* data, std::size_t size, std::int64_t timeMs) = 0;
};
