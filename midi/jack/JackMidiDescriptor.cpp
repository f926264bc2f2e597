#include "midi/jack/JackMidiDescriptor.h"

#include "midi/OwnPortNames.h"

namespace
{
const char* const kOwnNote = "this program's own JACK port";
}

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

JackMidiDescriptor JackMidiDescriptor::ownPort(MidiDeviceFactory* factory_, bool isInput_, int index_)
{
    JackMidiDescriptor d;
    d.factory = factory_;
    d.isInput = isInput_ ? 1 : 0;
    d.index = index_;
    d.name = BString(OwnPortNames::forDirection(isInput_));
    d.altName = d.name;
    d.extraId = BString(kOwnNote);
    return d;
}

std::string JackMidiDescriptor::ownPortName(const MidiDeviceDescriptor* d)
{
    if (d == nullptr || !d->getInterfaceName().IsEmpty() || d->getExtraId() != BString(kOwnNote))
        return std::string();
    return d->altName.CStr();
}

BString JackMidiDescriptor::displayNote() const
{
    return ownPortName(this).empty() ? BString() : extraId;
}
