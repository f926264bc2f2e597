// MidiDeviceDescriptorWin: a WinMM port as the factory lists it: position, name, the driver's
// interface path and, for USB audio-class devices, the registry name and parent device.
// A plain value like its base; refresh() runs under the factory's lock.
#pragma once

#include "midi/MidiDeviceDescriptor.h"

class MidiDeviceDescriptorWin : public MidiDeviceDescriptor
{
public:
    // Reads the names and identity of input or output index at once.
    MidiDeviceDescriptorWin(bool isInput, int index);

    std::unique_ptr<MidiDeviceDescriptor> clone() const override;

    // Re-reads the names and identity. An unchanged, non-empty interface path costs one driver
    // query and ends it there.
    void refresh();

    // The WinMM identifier: outputs are shifted by one while the factory lists the Mapper first.
    int winmmId() const;

    BString productName;
    BString usbName;
    // Set for good by a failed capability query: the product name stays "unknown".
    bool capsFailed = false;
};
