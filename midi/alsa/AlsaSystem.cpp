#include "midi/alsa/AlsaSystem.h"

#include <atomic>

namespace
{
std::atomic<AlsaSystem*> installed{nullptr};
}

AlsaSystem& AlsaSystem::get()
{
    AlsaSystem* system = installed.load(std::memory_order_acquire);
    return system != nullptr ? *system : libasoundAlsaSystem();
}

void AlsaSystem::install(AlsaSystem* system)
{
    installed.store(system, std::memory_order_release);
}
