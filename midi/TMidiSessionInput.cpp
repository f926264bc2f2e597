#include "midi/TMidiSessionInput.h"

#include "midi/MidiDeviceDescriptor.h"

#include <algorithm>

TMidiSessionInput::TMidiSessionInput(std::unique_ptr<MidiDeviceDescriptor> d) : TMidiInputBase(std::move(d)) {}

void TMidiSessionInput::openedAs(std::uint64_t openedToken)
{
    started.store(0, std::memory_order_release);
    if (openedToken == 0)
        return;
    token.store(openedToken);
    setHandle(this);
}

std::uint64_t TMidiSessionInput::releaseToken()
{
    // The session's close returns only once no delivery is under way (and none can start).
    started.store(0, std::memory_order_release);
    return token.exchange(0);
}

void TMidiSessionInput::start()
{
    if (!isOpen())
        return;
    originMs.store(sessionNowMs(), std::memory_order_relaxed);
    markStarted(true);
    // A new run number: the delivering thread starts its timestamps afresh when it sees it, and
    // the release publishes originMs to it.
    started.store(runs.fetch_add(1, std::memory_order_relaxed) + 1, std::memory_order_release);
}

void TMidiSessionInput::stop()
{
    // A delivery under way may still finish; close waits for it.
    started.store(0, std::memory_order_release);
    markStarted(false);
}

void TMidiSessionInput::deliverEvent(const unsigned char* data, std::size_t size, bool asLong, std::int64_t timeMs)
{
    const int run = started.load(std::memory_order_acquire);
    if (run == 0 || size == 0)
        return;
    if (run != deliveryRun)
    {
        deliveryRun = run;
        lastTimestamp = 0;
    }
    lastTimestamp = std::max(lastTimestamp, timeMs - originMs.load(std::memory_order_relaxed));
    deliverBytes(data, size, asLong, lastTimestamp);
}
