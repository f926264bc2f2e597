// A test program: the utility's window framework with a content that fails while it is built,
// as a failing library would. It must show the "Fatal Error" box and end.
#include "app/BContentBase.h"
#include "app/BWindow.h"
#include "base/Exception.h"

#include <juce_gui_basics/juce_gui_basics.h>

namespace
{

class FailingContent : public BContentBase
{
public:
    void buildContent() override
    {
        BContentBase::buildContent();
        throw Exception("Cannot re-instanciate MidiManager!");
    }
};

class FailingWindow : public BWindow
{
public:
    FailingWindow() : BWindow("Vantor LUMO") {}
    BContentBase* createContent() override { return new FailingContent(); }
};

class FatalDemoApplication : public juce::JUCEApplication
{
public:
    const juce::String getApplicationName() override { return "Vantor LUMO fatal-error demo"; }
    const juce::String getApplicationVersion() override { return "1.1"; }
    bool moreThanOneInstanceAllowed() override { return true; }

    void initialise(const juce::String&) override
    {
        window = std::make_unique<FailingWindow>();
        window->createAndShowContent({}, true, true);
    }

    void shutdown() override { window.reset(); }

private:
    std::unique_ptr<FailingWindow> window;
};

} // namespace

START_JUCE_APPLICATION(FatalDemoApplication)
