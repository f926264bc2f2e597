// UsbRegistryLookup: finds the registry entry of the USB device behind a WinMM port's
// interface path (\\?\usb#<hardware>#<instance>#...): its friendly name (its location before
// Windows Vista) when the port runs on the USB audio-class driver, and the instance of the
// composite parent device it belongs to. Blocking registry reads through WinMMSystem; any
// thread; no state.
#pragma once

#include "base/BString.h"

namespace UsbRegistryLookup
{
// True when usbName was found (and set). parentInstanceId is set only when a parent matches.
bool find(const BString& interfaceName, BString& usbName, BString& parentInstanceId);
} // namespace UsbRegistryLookup
