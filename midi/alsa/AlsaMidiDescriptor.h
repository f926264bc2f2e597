// AlsaMidiDescriptor: one port of another sequencer client. The name is "client name:port
// name" (as patchbays show it); the identity (interface name) is the port's address
// "client:port", which the device opens. A plain value like its base.
#pragma once

#include "midi/MidiDeviceDescriptor.h"

#include <string>

class AlsaMidiDescriptor : public MidiDeviceDescriptor
{
public:
    AlsaMidiDescriptor() = default;
    AlsaMidiDescriptor(MidiDeviceFactory* factory, bool isInput, int index, const std::string& name, int client,
                       int port);

    std::unique_ptr<MidiDeviceDescriptor> clone() const override;

    // Reads the address back from a descriptor's interface name; false when it holds none.
    static bool addressOf(const MidiDeviceDescriptor* d, int& client, int& port);
};
