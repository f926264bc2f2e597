// JackMidiFactory: the MIDI backend over JACK. Its devices are the MIDI ports of the other
// clients of the server: another client's output is one of our inputs and the other way round.
// Our own client's ports are never listed as such; instead, while a server runs, each direction
// lists first one port of the program's own ("LUMO In", "LUMO Thru"), which opening registers
// on our client for others to connect to (see JackMidiDescriptor::ownPort).
//
// Threads: as MidiDeviceFactory (scans under the factory's lock, from the GUI and notifier
// threads). The JACK client lives in a JackSession shared with the device objects; the
// JackDeviceObserver turns the server's announcements into device-change notifications.
//
// Lifetime: factories belong to the AutoDelete registry; the destructor unregisters from the
// manager before the session and observer go.
#pragma once

#include "midi/MidiDeviceFactory.h"
#include "midi/jack/JackDeviceObserver.h"
#include "midi/jack/JackSession.h"

#include <memory>
#include <string>

class JackMidiFactory : public MidiDeviceFactory
{
public:
    static constexpr std::uint32_t kTypeId = 0x4B43414A; // "JACK"

    // clientName is the JACK client name asked for. No connection is made before the first scan.
    // listOwnPorts: list the program's own ports too (the program does; tools that reach only
    // other clients' ports do not).
    JackMidiFactory(std::string clientName, bool listOwnPorts);
    ~JackMidiFactory() override;

    std::uint32_t typeId() const override { return kTypeId; }
    BString directionName(bool isInput) const override;
    std::unique_ptr<TMidiDeviceBase> createDevice(const MidiDeviceDescriptor& d) override;

    JackSession& getSession() { return *session; }
    const JackDeviceObserver& getObserver() const { return *observer; }

protected:
    void refreshDescriptors(bool isInput, BOwnedList<MidiDeviceDescriptor*>& list) override;

private:
    const bool listOwnPorts;
    std::unique_ptr<JackDeviceObserver> observer;
    std::shared_ptr<JackSession> session;
};
