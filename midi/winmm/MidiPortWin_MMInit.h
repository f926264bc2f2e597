// MidiPortWin_MMInit: registers the WinMM factory with the MIDI manager when the manager is
// ready. One instance is handed to the manager during static initialisation
// (MidiPortWin_MMInit.cpp); the manager owns it from then on.
#pragma once

#include "midi/MidiManagerListeners.h"

class MidiPortWin_MMInit : public MidiManagerInitializer
{
public:
    void managerReady() override;
};
