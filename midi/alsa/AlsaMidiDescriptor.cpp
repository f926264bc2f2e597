#include "midi/alsa/AlsaMidiDescriptor.h"

#include <cstdio>

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
