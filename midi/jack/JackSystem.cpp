#include "midi/jack/JackSystem.h"

#include "midi/InstalledSystem.h"

namespace
{
InstalledSystem<JackSystem> installed;
}

JackSystem& JackSystem::get()
{
    return installed.get(&libjackSystem);
}

void JackSystem::install(JackSystem* system)
{
    installed.install(system);
}
