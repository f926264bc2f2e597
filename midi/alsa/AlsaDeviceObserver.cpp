#include "midi/alsa/AlsaDeviceObserver.h"

#include "base/TMessageWindowThread.h"

AlsaDeviceObserver::AlsaDeviceObserver(std::function<void()> onChange_) : onChange(std::move(onChange_)) {}

void AlsaDeviceObserver::alsaPortsChanged()
{
    if (onChange)
        onChange();
    TMessageWindowThread::notifyDeviceListChanged();
    // Counted last, so that a waiter that saw the count also finds the rescan limit lifted.
    changes.fetch_add(1);
}
