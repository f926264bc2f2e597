#include "midi/winmm/WinMMSystem.h"

bool WinMMSystem::isVistaOrLater()
{
    int known = vistaOrLater.load(std::memory_order_acquire);
    if (known < 0)
    {
        // Before the first read or when it fails, Windows XP (5.1) is assumed.
        int major = 5;
        if (!majorVersion(major))
            major = 5;
        known = major >= 6 ? 1 : 0;
        vistaOrLater.store(known, std::memory_order_release);
    }
    return known != 0;
}
