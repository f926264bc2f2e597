// AlsaMidiSegments: how outgoing MIDI bytes become sequencer events. SysEx travels as events of
// its own, cut into pieces that fit the receiving client's memory pool; everything else goes
// through the sequencer's MIDI encoder as it stands (running status included).
// Pure functions on bytes, without any sequencer header, so that they can be tested anywhere.
#pragma once

#include "midi/MidiStatus.h"

#include <cstddef>
#include <vector>

namespace AlsaMidiSegments
{
// The largest SysEx piece we hand to the sequencer as one event. A client's default input pool
// takes about 5,500 bytes of variable data, so a receiver with default settings gets them too.
constexpr std::size_t kSysExPieceBytes = MidiStatus::kSysExPieceBytes;

struct Segment
{
    std::size_t offset = 0;
    std::size_t length = 0;
    // True for a SysEx piece (sent as a variable-length event), false for short-message bytes.
    bool sysEx = false;

    bool operator==(const Segment& other) const
    {
        return offset == other.offset && length == other.length && sysEx == other.sysEx;
    }
};

// Cuts data into segments in order, covering every byte once. A SysEx runs from F0 (or, for a
// later block of a long message, from leading data bytes or a leading F7) through F7, or up to the next status
// byte that is not real-time, or to the end; it is cut into pieces of at most pieceBytes
// (at least 1). Runs of other bytes form one segment each.
std::vector<Segment> split(const unsigned char* data, std::size_t size, std::size_t pieceBytes = kSysExPieceBytes);
} // namespace AlsaMidiSegments
