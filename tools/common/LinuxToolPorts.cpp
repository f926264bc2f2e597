#include "tools/common/LinuxToolPorts.h"

#include "base/BList.h"
#include "midi/MidiDeviceDescriptor.h"
#include "midi/TMidiDeviceBase.h"
#include "midi/alsa/AlsaMidiFactory.h"
#include "midi/jack/JackMidiFactory.h"

#include <chrono>
#include <thread>

LinuxToolPorts::LinuxToolPorts(const std::string& clientName)
    : jack(new JackMidiFactory(clientName, false)), alsa(new AlsaMidiFactory(clientName, false))
{
}

bool LinuxToolPorts::connect()
{
    // Both systems are asked; each says in one line on stderr when it is absent.
    haveJack = jack->getSession().connect();
    haveAlsa = alsa->getSequencer().connect();
    return haveJack || haveAlsa;
}

std::vector<std::string> LinuxToolPorts::names(bool isInput)
{
    std::vector<std::string> result;
    for (MidiDeviceFactory* factory : {static_cast<MidiDeviceFactory*>(jack), static_cast<MidiDeviceFactory*>(alsa)})
    {
        if ((factory == jack && !haveJack) || (factory == alsa && !haveAlsa))
            continue;
        BStringList list;
        factory->getDisplayNames(isInput, list);
        for (int i = 0; i < list.Count(); ++i)
            result.push_back(list.Get(i).CStr());
    }
    return result;
}

std::unique_ptr<TMidiDeviceBase> LinuxToolPorts::create(const std::string& name, bool isInput)
{
    for (MidiDeviceFactory* factory : {static_cast<MidiDeviceFactory*>(jack), static_cast<MidiDeviceFactory*>(alsa)})
    {
        if ((factory == jack && !haveJack) || (factory == alsa && !haveAlsa))
            continue;
        if (auto device = factory->createDeviceNamed(BString(name), isInput))
            return device;
    }
    return nullptr;
}

bool LinuxToolPorts::waitUntilSent(TMidiOutputBase& output)
{
    // Closing an ALSA output writes what was queued for it first; JACK writes in its cycles: the
    // queue must be empty and the cycle that carried the last message over.
    if (output.getDescriptor() == nullptr || output.getDescriptor()->factory != jack)
        return true;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (output.pendingLongCount() > 0)
    {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    JackSession& session = jack->getSession();
    const std::uint64_t cycle = session.stats().cycles;
    while (session.stats().cycles < cycle + 2)
    {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}
