// MMDevOut: the MIDI manager's record of one output device. See MidiManagerDev.
#pragma once

#include "midi/MidiManagerDev.h"

#include <memory>

class MMDevOut : public MidiManagerDev
{
public:
    MMDevOut(MidiManager& manager, int index, std::unique_ptr<MidiDeviceDescriptor> descriptor);

    void createDevice() override;
    void loadState(const TIniFile& file, int n) override;
    void saveState(TIniFile& file, int n) const override;
};
