#include "midi/jack/JackMidiDescriptor.h"

JackMidiDescriptor::JackMidiDescriptor(MidiDeviceFactory* factory_, bool isInput_, int index_,
                                       const std::string& portName, const std::string& prettyName)
    : MidiDeviceDescriptor(factory_, isInput_, index_, BString(portName.c_str()))
{
    altName = BString(prettyName.c_str());
    interfaceName = BString(portName.c_str());
}

std::unique_ptr<MidiDeviceDescriptor> JackMidiDescriptor::clone() const
{
    return std::make_unique<JackMidiDescriptor>(*this);
}
