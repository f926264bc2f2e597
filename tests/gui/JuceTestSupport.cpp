#include "JuceTestSupport.h"

#include <memory>

namespace JuceTestSupport
{

void initialiseOnce()
{
    // Kept for the whole process: shutting the toolkit down and up again is not supported.
    static std::unique_ptr<juce::ScopedJuceInitialiser_GUI> toolkit;
    if (toolkit == nullptr)
        toolkit = std::make_unique<juce::ScopedJuceInitialiser_GUI>();
}

bool pumpUntil(const std::function<bool()>& done, int timeoutMs)
{
    const auto end = juce::Time::getMillisecondCounter() + static_cast<juce::uint32>(timeoutMs);
    while (! done())
    {
        if (juce::Time::getMillisecondCounter() >= end)
            return done();
        juce::MessageManager::getInstance()->runDispatchLoopUntil(5);
    }
    return true;
}

void pumpFor(int ms)
{
    juce::MessageManager::getInstance()->runDispatchLoopUntil(ms);
}

TempFolder::TempFolder()
    : folder(juce::File::getSpecialLocation(juce::File::tempDirectory)
                 .getNonexistentChildFile("lumo-gui-test", {}, false))
{
    folder.createDirectory();
}

TempFolder::~TempFolder()
{
    folder.deleteRecursively();
}

} // namespace JuceTestSupport
