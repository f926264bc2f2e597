#include "midi/alsa/AlsaSystem.h"

#include "midi/InstalledSystem.h"

namespace
{
InstalledSystem<AlsaSystem> installed;
}

AlsaSystem& AlsaSystem::get()
{
    return installed.get(&libasoundAlsaSystem);
}

void AlsaSystem::install(AlsaSystem* system)
{
    installed.install(system);
}
