// MidiStatus: facts about MIDI messages shared by the manager, the backends and the tools.
#pragma once

namespace MidiStatus
{
constexpr unsigned char kSysExStart = 0xF0;
constexpr unsigned char kSysExEnd = 0xF7;
constexpr unsigned char kTimingClock = 0xF8;
constexpr unsigned char kActiveSensing = 0xFE;

// Largest piece of System Exclusive data handed on at once: what the drivers fill per buffer, what
// the data path delivers and the outputs send as one long message.
constexpr int kSysExPieceBytes = 1024;

// Length of a short message with this status byte: 3 for notes, controllers, pitch bend;
// 2 for program change and channel pressure; for system messages by kind; 0 for data bytes and
// for the two System Exclusive bytes F0 and F7. The undefined statuses (F4, F5, F9, FD) carry no
// data bytes: each is a message of one byte, passed on as it came.
constexpr int statusLength(unsigned char status)
{
    if (status < 0x80)
        return 0;
    if (status < 0xC0 || (status >= 0xE0 && status < 0xF0))
        return 3;
    if (status < 0xE0)
        return 2;
    constexpr int systemLengths[16] = {0, 2, 3, 2, 1, 1, 1, 0, 1, 1, 1, 1, 1, 1, 1, 1};
    return systemLengths[status & 0x0F];
}
} // namespace MidiStatus
