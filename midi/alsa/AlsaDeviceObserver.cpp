#include "midi/alsa/AlsaDeviceObserver.h"

#include "midi/MidiDeviceFactory.h"

void AlsaDeviceObserver::alsaPortsChanged()
{
    MidiDeviceFactory::announceSystemDeviceChange();
    // Counted last, so that a waiter that saw the count also finds the rescan limit lifted.
    changes.fetch_add(1);
}
