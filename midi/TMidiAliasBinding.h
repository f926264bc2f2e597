// TMidiAliasBinding: keeps open exactly the devices that one input alias and one output alias
// name, and closes every other device.
//
// The owner calls apply() whenever the answer may have changed: after an alias change, and after
// every change of the device list (a bound device that was absent has just appeared, or one came
// back). apply() is idempotent: a device that is already open stays open, untouched.
//
// Threads: apply() runs on any control thread (the GUI thread, the device-change notifier's timer
// thread). It holds the MIDI manager's lock while it reads the aliases' resolution and opens and
// closes by it, so that an update pass on another thread (which resolves every alias afresh)
// cannot show it a half-done resolution. Does nothing once the managers are gone.
#pragma once

#include "base/BString.h"

class TMidiAliasBinding
{
public:
    TMidiAliasBinding(const BString& inputAlias, const BString& outputAlias);

    // The output alias first, then the input alias: creates the alias (without a device) if it
    // does not exist, opens the one device of that direction it resolves to and closes the others.
    void apply() const;

private:
    const BString inputAlias;
    const BString outputAlias;
};
