#include "JuceTestSupport.h"

#include <gtest/gtest.h>

#include <memory>

namespace JuceTestSupport
{

namespace
{
// The toolkit lives from before the first test to the end of the process and is never shut
// down: its shutdown depends on static objects of its own that may already be gone when ours
// are destroyed, and the process ends right after the last test anyway.
class ToolkitEnvironment : public ::testing::Environment
{
public:
    void SetUp() override
    {
        static juce::ScopedJuceInitialiser_GUI* const toolkit = new juce::ScopedJuceInitialiser_GUI();
        (void) toolkit;
    }
};

::testing::Environment* const toolkitEnvironment = ::testing::AddGlobalTestEnvironment(new ToolkitEnvironment);
} // namespace

void initialiseOnce()
{
    // The environment above has done it; kept so that tests say what they rely on.
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
