#include "midi/winmm/MidiWinFactory.h"

#include "base/Exception.h"
#include "midi/winmm/MidiDeviceDescriptorWin.h"
#include "midi/winmm/TMidiInputWin.h"
#include "midi/winmm/TMidiOutputWin.h"
#include "midi/winmm/WinMMSystem.h"

#include <atomic>
#include <mutex>

namespace
{
std::mutex instanceMutex;
MidiWinFactory* instance = nullptr;
bool destroyed = false;
} // namespace

MidiWinFactory* MidiWinFactory::getInstance()
{
    std::lock_guard<std::mutex> guard(instanceMutex);
    if (destroyed)
        throw Exception("Cannot re-instanciate MidiWinFactory!");
    if (instance == nullptr)
        instance = new MidiWinFactory();
    return instance;
}

void MidiWinFactory::destroyInstance()
{
    MidiWinFactory* doomed = nullptr;
    {
        std::lock_guard<std::mutex> guard(instanceMutex);
        doomed = instance;
    }
    delete doomed;
}

void MidiWinFactory::allowRecreationForTests()
{
    std::lock_guard<std::mutex> guard(instanceMutex);
    destroyed = false;
}

MidiWinFactory::~MidiWinFactory()
{
    {
        std::lock_guard<std::mutex> guard(instanceMutex);
        destroyed = true;
        if (instance == this)
            instance = nullptr;
    }
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
