#include "base/BClock.h"

#include <windows.h>
#include <mmsystem.h>

namespace
{
struct ClockOrigin
{
    ClockOrigin()
    {
        // Raised once and kept for the process: timers and short sleeps rely on 1 ms ticks.
        timeBeginPeriod(1);
        origin = timeGetTime();
    }
    DWORD origin = 0;
};

const ClockOrigin& clockOrigin()
{
    static const ClockOrigin instance;
    return instance;
}
} // namespace

std::uint32_t BClock::now()
{
    const DWORD origin = clockOrigin().origin;
    return static_cast<std::uint32_t>(timeGetTime() - origin);
}
