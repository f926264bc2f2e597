// The program's thru as the benchmarks set it up: routeThru between two devices the manager
// lists, both opened.
#pragma once

#include "midi/MidiManager.h"
#include "support/ThruRoute.h"

// False when the manager does not list both devices.
inline bool openBenchThru(const char* inputName, const char* outputName)
{
    MidiManager* manager = MidiManager::getInstance();
    const int inIndex = manager->findDeviceByName(BString(inputName), true);
    const int outIndex = manager->findDeviceByName(BString(outputName), false);
    if (inIndex < 0 || outIndex < 0)
        return false;
    routeThru(inputName, outputName);
    manager->openInput(inIndex);
    manager->openOutput(outIndex);
    return true;
}
