// The two callbacks a MIDI device object makes towards its owner (the MIDI manager).
#pragma once

#include "base/BString.h"

#include <cstdint>

class TMidiDeviceBase;

// Receives every message an input object delivers. Called on the driver's thread; data is
// valid only during the call. Must be fast and must not block.
class TMidiDeviceDataListener
{
public:
    virtual ~TMidiDeviceDataListener() = default;
    virtual void onMidiData(TMidiDeviceBase* device, std::int64_t timestamp, const unsigned char* data,
                            int length) = 0;
};

// Receives errors a device object notices by itself (outside open and close).
class TMidiDeviceErrorListener
{
public:
    virtual ~TMidiDeviceErrorListener() = default;
    virtual void onMidiError(TMidiDeviceBase* device, const BString& text) = 0;
};
