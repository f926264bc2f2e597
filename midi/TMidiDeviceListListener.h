// TMidiDeviceListListener: told when the MIDI manager's set of devices changed.
#pragma once

class TMidiDeviceListListener
{
public:
    virtual ~TMidiDeviceListListener() = default;
    // After an update pass that changed something, on the thread that ran it (GUI thread or the
    // device-change notifier's timer thread), with no manager lock held.
    virtual void deviceListChanged() = 0;
};
