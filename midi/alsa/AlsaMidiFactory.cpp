#include "midi/alsa/AlsaMidiFactory.h"

#include "midi/alsa/AlsaMidiDescriptor.h"
#include "midi/alsa/AlsaMidiInput.h"
#include "midi/alsa/AlsaMidiOutput.h"

AlsaMidiFactory::AlsaMidiFactory(std::string clientName, bool listOwnPorts_)
    : listOwnPorts(listOwnPorts_),
      observer(std::make_unique<AlsaDeviceObserver>()),
      sequencer(std::make_shared<AlsaSequencer>(std::move(clientName), observer.get()))
{
}

AlsaMidiFactory::~AlsaMidiFactory()
{
    unregisterFromManager();
    // The sequencer may outlive us in a device object; it must not call an observer that is gone
    // (the detach waits for an announcement under way, which calls back into us).
    sequencer->detachObserver();
    sequencer.reset();
    observer.reset();
}

BString AlsaMidiFactory::directionName(bool isInput) const
{
    return BString(isInput ? "MIDI Input" : "MIDI Output");
}

std::unique_ptr<TMidiDeviceBase> AlsaMidiFactory::createDevice(const MidiDeviceDescriptor& d)
{
    if (d.isInput != 0)
        return std::make_unique<AlsaMidiInput>(sequencer, d.clone());
    return std::make_unique<AlsaMidiOutput>(sequencer, d.clone());
}

void AlsaMidiFactory::refreshDescriptors(bool isInput, BOwnedList<MidiDeviceDescriptor*>& list)
{
    std::vector<AlsaMidiDescriptor> found;
    // Our own port comes first, and only with a sequencer to create it on.
    if (sequencer->connect())
    {
        if (listOwnPorts)
            found.push_back(AlsaMidiDescriptor::ownPort(this, isInput, 0));
        for (const AlsaSequencer::PortInfo& port : sequencer->listPorts(isInput))
            found.emplace_back(this, isInput, static_cast<int>(found.size()), port.name, port.client, port.port);
    }
    keepDescriptors(list, found);
}
