#include "JuceTestSupport.h"

#include <gtest/gtest.h>

#include <memory>

namespace JuceTestSupport
{

namespace
{
// The toolkit lives from before the first test to after the last one. It must be shut down
// before the program's static objects go (the toolkit's own shutdown list is one of them), so
// it belongs to a test environment rather than to a static object.
class ToolkitEnvironment : public ::testing::Environment
{
public:
    void SetUp() override { toolkit = std::make_unique<juce::ScopedJuceInitialiser_GUI>(); }
    void TearDown() override { toolkit.reset(); }

private:
    std::unique_ptr<juce::ScopedJuceInitialiser_GUI> toolkit;
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

} // namespace JuceTestSupport
