#include "midi/jack/JackSystem.h"

#include <atomic>

namespace
{
std::atomic<JackSystem*> installed{nullptr};
}

JackSystem& JackSystem::get()
{
    JackSystem* system = installed.load(std::memory_order_acquire);
    return system != nullptr ? *system : libjackSystem();
}

void JackSystem::install(JackSystem* system)
{
    installed.store(system, std::memory_order_release);
}
