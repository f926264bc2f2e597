#include "midi/jack/JackMidiFactory.h"

#include "midi/jack/JackMidiDescriptor.h"
#include "midi/jack/JackMidiInput.h"
#include "midi/jack/JackMidiOutput.h"

JackMidiFactory::JackMidiFactory(std::string clientName)
    : observer(std::make_unique<JackDeviceObserver>([this] { forgetLastRescanRequest(); })),
      session(std::make_shared<JackSession>(std::move(clientName), observer.get()))
{
    observer->startRetrying([s = session.get()] { return s->isConnected(); });
}

JackMidiFactory::~JackMidiFactory()
{
    unregisterFromManager();
    // The session may outlive us in a device object; it must not call an observer that is gone
    // (the detach waits for a notification under way, which calls back into us), and the
    // observer's retry thread (which asks the session) ends before our reference goes.
    session->detachObserver();
    observer.reset();
    session.reset();
}

BString JackMidiFactory::directionName(bool isInput) const
{
    return BString(isInput ? "MIDI Input" : "MIDI Output");
}

std::unique_ptr<TMidiDeviceBase> JackMidiFactory::createDevice(const MidiDeviceDescriptor& d)
{
    if (d.isInput != 0)
        return std::make_unique<JackMidiInput>(session, d.clone());
    return std::make_unique<JackMidiOutput>(session, d.clone());
}

void JackMidiFactory::refreshDescriptors(bool isInput, BOwnedList<MidiDeviceDescriptor*>& list)
{
    std::vector<JackSession::PortInfo> ports;
    if (session->connect())
        ports = session->listPorts(isInput);
    const int count = static_cast<int>(ports.size());
    for (int i = 0; i < count; ++i)
    {
        JackMidiDescriptor fresh(this, isInput, i, ports[static_cast<std::size_t>(i)].name,
                                 ports[static_cast<std::size_t>(i)].prettyName);
        if (MidiDeviceDescriptor* existing = list.Get(i))
            existing->assign(fresh);
        else
            list.Add(fresh.clone().release());
    }
    while (list.Count() > count)
        list.Delete(list.Count() - 1);
}
