// AlsaDeviceObserver: turns the sequencer's announcements (clients and ports started, exited or
// changed) into the device-change service's notification, so that the manager rescans after the
// notifier's debounce and reopens devices that came back.
//
// Threads: alsaPortsChanged runs on the sequencer's reader thread and only posts.
#pragma once

#include "midi/alsa/AlsaSequencer.h"

#include <atomic>

class AlsaDeviceObserver : public AlsaSequencer::Observer
{
public:
    AlsaDeviceObserver() = default;

    AlsaDeviceObserver(const AlsaDeviceObserver&) = delete;
    AlsaDeviceObserver& operator=(const AlsaDeviceObserver&) = delete;

    // Number of announcements seen (diagnostics and tests).
    int changesSeen() const { return changes.load(); }

    void alsaPortsChanged() override;

private:
    std::atomic<int> changes{0};
};
