// AlsaMidiDescriptor: one port of another sequencer client. The name is "client name:port
// name" (as patchbays show it); the identity (interface name) is the port's address
// "client:port", which the device opens. A plain value like its base.
//
// Or one of the program's own ports (ownPort), a port of our client with subscription rights
// for others. JACK lists its own ports under the same names, and both backends live in one
// program: ours are numbered as the second of equal names, "LUMO In (2)" and "LUMO Thru (2)",
// so that a stored binding names the same backend whether or not a JACK server runs. No
// identity; the port's name in the sequencer in altName, the note for the port dialog in extraId
// (the base fields mark it, because factories refresh their lists through the base's assign).
#pragma once

#include "midi/MidiDeviceDescriptor.h"

#include <string>

class AlsaMidiDescriptor : public MidiDeviceDescriptor
{
public:
    AlsaMidiDescriptor() = default;
    AlsaMidiDescriptor(MidiDeviceFactory* factory, bool isInput, int index, const std::string& name, int client,
                       int port);

    static AlsaMidiDescriptor ownPort(MidiDeviceFactory* factory, bool isInput, int index);
    // The port name to create when d stands for one of our own ports; empty otherwise.
    static std::string ownPortName(const MidiDeviceDescriptor* d);

    std::unique_ptr<MidiDeviceDescriptor> clone() const override;
    // "this program's own ... port" for one of our own ports.
    BString displayNote() const override;

    // Reads the address back from a descriptor's interface name; false when it holds none.
    static bool addressOf(const MidiDeviceDescriptor* d, int& client, int& port);
};
