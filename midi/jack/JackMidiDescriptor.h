// JackMidiDescriptor: one MIDI port of another JACK client. The name is the full port name
// ("client:port"), which is also the port's identity; altName holds the port's first alias.
// A plain value like its base (see midi/MidiDeviceDescriptor.h).
//
// Or one of the program's own ports (ownPort): named "LUMO In" / "LUMO Thru" without a client
// part (so no other client's port can carry the name), with no identity, the name to register
// in altName and the note for the port dialog in extraId. Only the base fields mark it, because
// factories refresh their lists through the base's assign.
#pragma once

#include "midi/MidiDeviceDescriptor.h"

#include <string>

class JackMidiDescriptor : public MidiDeviceDescriptor
{
public:
    JackMidiDescriptor() = default;
    JackMidiDescriptor(MidiDeviceFactory* factory, bool isInput, int index, const std::string& portName,
                       const std::string& prettyName);

    // One of the program's own ports, registered on our client for others to connect to.
    static JackMidiDescriptor ownPort(MidiDeviceFactory* factory, bool isInput, int index);
    // The short name to register when d stands for one of our own ports; empty otherwise.
    static std::string ownPortName(const MidiDeviceDescriptor* d);

    std::unique_ptr<MidiDeviceDescriptor> clone() const override;
    // "this program's own ... port" for one of our own ports.
    BString displayNote() const override;

    // The full JACK name of the port this descriptor stands for.
    std::string portName() const { return getInterfaceName().CStr(); }
    // The same for any descriptor of the backend; empty for none.
    static std::string portNameOf(const MidiDeviceDescriptor* d)
    {
        return d != nullptr ? std::string(d->getInterfaceName().CStr()) : std::string();
    }
};
