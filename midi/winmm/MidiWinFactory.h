// MidiWinFactory: the device factory of the WinMM backend, the only one the Windows program
// registers (MidiPortWin_MMInit). Inputs are numbered as WinMM numbers them; outputs begin with
// the MIDI Mapper (index 0) whenever there is an output device.
//
// Threads: as MidiDeviceFactory (refreshing under the factory's lock, from the GUI thread or
// the device-change poller). Lifetime: a process-wide singleton; asking for it after its
// destruction throws.
#pragma once

#include "midi/MidiDeviceFactory.h"

class MidiWinFactory : public MidiDeviceFactory
{
public:
    static constexpr std::uint32_t kTypeId = 0x4944494D; // "MIDI"

    // The singleton, created on first call. Throws Exception "Cannot re-instanciate
    // MidiWinFactory!" after it was destroyed.
    static MidiWinFactory* getInstance();
    // Destroys the singleton (at the end of the process, and in tests).
    static void destroyInstance();

    ~MidiWinFactory() override;

    int deviceCount(bool isInput) override;
    std::uint32_t typeId() const override { return kTypeId; }
    BString directionName(bool isInput) const override;
    std::unique_ptr<TMidiDeviceBase> createDevice(const MidiDeviceDescriptor& d) override;

    const bool includesMapper = true;

    // Tests only: lets getInstance create a new singleton after destroyInstance.
    static void allowRecreationForTests();

protected:
    void refreshDescriptors(bool isInput, BOwnedList<MidiDeviceDescriptor*>& list) override;

private:
    MidiWinFactory() = default;
};
