#include "midi/winmm/MidiWinFactory.h"

#include "base/AutoDeleteSingleton.h"
#include "midi/winmm/MidiDeviceDescriptorWin.h"
#include "midi/winmm/TMidiInputWin.h"
#include "midi/winmm/TMidiOutputWin.h"
#include "midi/winmm/WinMMSystem.h"

namespace
{
AutoDeleteSingleton<MidiWinFactory> theInstance;
} // namespace

MidiWinFactory* MidiWinFactory::getInstance()
{
    return theInstance.get("Cannot re-instanciate MidiWinFactory!", [] {
        // Owned by the AutoDelete registry, as every factory.
        return new MidiWinFactory();
    });
}

void MidiWinFactory::destroyInstance()
{
    delete theInstance.peek();
}

void MidiWinFactory::allowRecreationForTests()
{
    theInstance.forgetDestruction();
}

MidiWinFactory::~MidiWinFactory()
{
    theInstance.withdraw();
    theInstance.markDestroyed();
    unregisterFromManager();
}

int MidiWinFactory::deviceCount(bool isInput)
{
    WinMMSystem& system = WinMMSystem::get();
    if (isInput)
        return system.inCount();
    const int outputs = system.outCount();
    return outputs > 0 && includesMapper ? outputs + 1 : outputs;
}

BString MidiWinFactory::directionName(bool isInput) const
{
    return isInput ? BString("MIDI Input") : BString("MIDI Output");
}

std::unique_ptr<TMidiDeviceBase> MidiWinFactory::createDevice(const MidiDeviceDescriptor& d)
{
    if (d.isInput)
        return std::make_unique<TMidiInputWin>(d.clone());
    return std::make_unique<TMidiOutputWin>(d.clone());
}

void MidiWinFactory::refreshDescriptors(bool isInput, BOwnedList<MidiDeviceDescriptor*>& list)
{
    const int n = deviceCount(isInput);
    while (list.Count() > n)
        list.Delete(list.Count() - 1);
    for (int i = 0; i < n; ++i)
    {
        if (i < list.Count())
        {
            if (auto* d = dynamic_cast<MidiDeviceDescriptorWin*>(list[i]))
                d->refresh();
        }
        else
        {
            list.Add(new MidiDeviceDescriptorWin(isInput, i));
        }
    }
}
