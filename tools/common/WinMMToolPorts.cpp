#include "tools/common/WinMMToolPorts.h"

#include "base/BList.h"
#include "midi/MidiDeviceDescriptor.h"
#include "midi/TMidiDeviceBase.h"
#include "midi/winmm/MidiWinFactory.h"

#include <chrono>
#include <thread>

bool WinMMToolPorts::connect()
{
    // WinMM is part of every Windows system; having no ports is not a failure here.
    factory = MidiWinFactory::getInstance();
    return true;
}

std::vector<std::string> WinMMToolPorts::names(bool isInput)
{
    std::vector<std::string> result;
    BStringList list;
    factory->getDisplayNames(isInput, list);
    for (int i = 0; i < list.Count(); ++i)
        result.push_back(list.Get(i).CStr());
    return result;
}

std::unique_ptr<TMidiDeviceBase> WinMMToolPorts::create(const std::string& name, bool isInput)
{
    return factory->createDeviceNamed(BString(name), isInput);
}

bool WinMMToolPorts::waitUntilSent(TMidiOutputBase& output)
{
    // Closing resets the port, which would cut off long messages the driver still plays.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (output.pendingLongCount() > 0)
    {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}
