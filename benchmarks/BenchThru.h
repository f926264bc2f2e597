// The program's thru as the benchmarks set it up: the aliases "MIDI Input" and "MIDI Thru" bound
// to two devices the manager lists, the first routed to the second, both opened.
#pragma once

#include "midi/MidiManager.h"
#include "midi/TMidiAlias.h"
#include "midi/TMidiAliasManager.h"
#include "midi/TMidiRouter.h"

// False when the manager does not list both devices.
inline bool openBenchThru(const char* inputName, const char* outputName)
{
    MidiManager* manager = MidiManager::getInstance();
    const int inIndex = manager->findDeviceByName(BString(inputName), true);
    const int outIndex = manager->findDeviceByName(BString(outputName), false);
    if (inIndex < 0 || outIndex < 0)
        return false;
    TMidiAliasManager* aliases = TMidiAliasManager::getInstance();
    TMidiAlias* in = aliases->getAlias(BString("MIDI Input"), TMidiAlias::kInput, true, -1);
    TMidiAlias* out = aliases->getAlias(BString("MIDI Thru"), TMidiAlias::kOutput, true, -1);
    aliases->setAlias(BString("MIDI Input"), TMidiAlias::kInput, BString("MIDI Input"), BString(inputName), true);
    aliases->setAlias(BString("MIDI Thru"), TMidiAlias::kOutput, BString("MIDI Thru"), BString(outputName), true);
    TMidiRouter::getInstance()->addRoute(out, in);
    manager->openInput(inIndex);
    manager->openOutput(outIndex);
    return true;
}
