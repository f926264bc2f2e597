// JackMidiDescriptor: one MIDI port of another JACK client. The name is the full port name
// ("client:port"), which is also the port's identity; altName holds the port's first alias.
// A plain value like its base (see midi/MidiDeviceDescriptor.h).
#pragma once

#include "midi/MidiDeviceDescriptor.h"

#include <string>

class JackMidiDescriptor : public MidiDeviceDescriptor
{
public:
    JackMidiDescriptor() = default;
    JackMidiDescriptor(MidiDeviceFactory* factory, bool isInput, int index, const std::string& portName,
                       const std::string& prettyName);

    std::unique_ptr<MidiDeviceDescriptor> clone() const override;

    // The full JACK name of the port this descriptor stands for.
    std::string portName() const { return getInterfaceName().CStr(); }
};
