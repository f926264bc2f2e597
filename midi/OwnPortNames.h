// The program's own ports: the names under which a Linux backend registers them for others to
// connect to, and the note the port dialog shows beside them. Backends list them as devices of
// their own (see JackMidiFactory, AlsaMidiFactory); the names are what aliases and settings store.
#pragma once

namespace OwnPortNames
{
// An input of the program: others connect their outputs to it and send into it.
inline constexpr const char* kInput = "LUMO In";
// An output of the program (the thru copy): others connect it to their inputs and read from it.
inline constexpr const char* kThru = "LUMO Thru";

inline const char* forDirection(bool isInput)
{
    return isInput ? kInput : kThru;
}
} // namespace OwnPortNames
