// AlsaMidiFactory: the MIDI backend over the ALSA sequencer. Its devices are the ports of the
// other clients that can be subscribed in that direction: a port we can read from is one of our
// inputs, one we can write to one of our outputs. Our own client and the system client are
// never listed as such; instead each direction lists first one port of the program's own
// ("LUMO In (2)", "LUMO Thru (2)"; see AlsaMidiDescriptor::ownPort), which opening creates on our
// client for others to subscribe to. Without a sequencer it lists nothing (and says so once on
// stderr).
//
// Threads: as MidiDeviceFactory (scans under the factory's lock, from the GUI and notifier
// threads). The client lives in an AlsaSequencer shared with the device objects; the
// AlsaDeviceObserver turns its announcements into device-change notifications.
//
// Lifetime: factories belong to the AutoDelete registry; the destructor unregisters from the
// manager before the sequencer and observer go.
#pragma once

#include "midi/MidiDeviceFactory.h"
#include "midi/alsa/AlsaDeviceObserver.h"
#include "midi/alsa/AlsaSequencer.h"

#include <memory>
#include <string>

class AlsaMidiFactory : public MidiDeviceFactory
{
public:
    static constexpr std::uint32_t kTypeId = 0x41534C41; // "ALSA"

    // clientName is the sequencer client's name. No client is opened before the first scan.
    // listOwnPorts: list the program's own ports too (the program does; tools that reach only
    // other clients' ports do not).
    AlsaMidiFactory(std::string clientName, bool listOwnPorts);
    ~AlsaMidiFactory() override;

    std::uint32_t typeId() const override { return kTypeId; }
    BString directionName(bool isInput) const override;
    std::unique_ptr<TMidiDeviceBase> createDevice(const MidiDeviceDescriptor& d) override;

    AlsaSequencer& getSequencer() { return *sequencer; }
    const AlsaDeviceObserver& getObserver() const { return *observer; }

protected:
    void refreshDescriptors(bool isInput, BOwnedList<MidiDeviceDescriptor*>& list) override;

private:
    const bool listOwnPorts;
    std::unique_ptr<AlsaDeviceObserver> observer;
    std::shared_ptr<AlsaSequencer> sequencer;
};
