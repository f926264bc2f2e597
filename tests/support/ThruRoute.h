// The program's thru as the main panel sets it up: the aliases "MIDI Input" and "MIDI Thru" bound
// to two ports (by name), the first routed to the second. Opening the devices is the caller's.
#pragma once

#include "midi/TMidiAlias.h"
#include "midi/TMidiAliasManager.h"
#include "midi/TMidiRouter.h"

inline void routeThru(const char* inputPort, const char* outputPort)
{
    TMidiAliasManager* aliases = TMidiAliasManager::getInstance();
    TMidiAlias* in = aliases->getAlias(BString("MIDI Input"), TMidiAlias::kInput, true, -1);
    TMidiAlias* out = aliases->getAlias(BString("MIDI Thru"), TMidiAlias::kOutput, true, -1);
    aliases->setAlias(BString("MIDI Input"), TMidiAlias::kInput, BString("MIDI Input"), BString(inputPort), true);
    aliases->setAlias(BString("MIDI Thru"), TMidiAlias::kOutput, BString("MIDI Thru"), BString(outputPort), true);
    TMidiRouter::getInstance()->addRoute(out, in);
}
