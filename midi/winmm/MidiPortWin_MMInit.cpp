#include "midi/winmm/MidiPortWin_MMInit.h"

#include "midi/MidiManager.h"
#include "midi/winmm/MidiWinFactory.h"

void MidiPortWin_MMInit::managerReady()
{
    if (MidiManager* manager = MidiManager::peekInstance())
        manager->addFactory(MidiWinFactory::getInstance());
}

namespace
{
// The program links this file whole (see midi/winmm/CMakeLists.txt), so this runs before main.
const int registered = MidiManager::registerInitializer(new MidiPortWin_MMInit());
} // namespace
