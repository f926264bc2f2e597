#include "midi/jack/JackMidiFactory.h"

#include "midi/jack/JackMidiDescriptor.h"
#include "midi/jack/JackMidiInput.h"
#include "midi/jack/JackMidiOutput.h"

JackMidiFactory::JackMidiFactory(std::string clientName, bool listOwnPorts_)
    : listOwnPorts(listOwnPorts_),
      observer(std::make_unique<JackDeviceObserver>()),
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
    std::vector<JackMidiDescriptor> found;
    // Our own port comes first, and only with a server: a JACK port cannot exist without one.
    if (session->connect())
    {
        if (listOwnPorts)
            found.push_back(JackMidiDescriptor::ownPort(this, isInput, 0));
        for (const JackSession::PortInfo& port : session->listPorts(isInput))
            found.emplace_back(this, isInput, static_cast<int>(found.size()), port.name, port.prettyName);
    }
    keepDescriptors(list, found);
}
