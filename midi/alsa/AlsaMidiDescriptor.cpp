#include "midi/alsa/AlsaMidiDescriptor.h"

#include "midi/OwnPortNames.h"

#include <cstdio>

namespace
{
const char* const kOwnNote = "this program's own ALSA sequencer port";
}

AlsaMidiDescriptor::AlsaMidiDescriptor(MidiDeviceFactory* factory_, bool isInput_, int index_,
                                       const std::string& name_, int client, int port)
    : MidiDeviceDescriptor(factory_, isInput_, index_, BString(name_.c_str()))
{
    interfaceName = BString::Format("%d:%d", client, port);
}

std::unique_ptr<MidiDeviceDescriptor> AlsaMidiDescriptor::clone() const
{
    return std::make_unique<AlsaMidiDescriptor>(*this);
}

bool AlsaMidiDescriptor::addressOf(const MidiDeviceDescriptor* d, int& client, int& port)
{
    if (d == nullptr)
        return false;
    int c = -1;
    int p = -1;
    char rest = 0;
    if (std::sscanf(d->getInterfaceName().CStr(), "%d:%d%c", &c, &p, &rest) != 2 || c < 0 || p < 0)
        return false;
    client = c;
    port = p;
    return true;
}

AlsaMidiDescriptor AlsaMidiDescriptor::ownPort(MidiDeviceFactory* factory_, bool isInput_, int index_)
{
    AlsaMidiDescriptor d;
    d.factory = factory_;
    d.isInput = isInput_ ? 1 : 0;
    d.index = index_;
    d.altName = BString(OwnPortNames::forDirection(isInput_));
    d.name = BString::Format("%s (2)", d.altName.CStr());
    d.extraId = BString(kOwnNote);
    return d;
}

std::string AlsaMidiDescriptor::ownPortName(const MidiDeviceDescriptor* d)
{
    if (d == nullptr || !d->getInterfaceName().IsEmpty() || d->getExtraId() != BString(kOwnNote))
        return std::string();
    return d->altName.CStr();
}

BString AlsaMidiDescriptor::displayNote() const
{
    return ownPortName(this).empty() ? BString() : extraId;
}
