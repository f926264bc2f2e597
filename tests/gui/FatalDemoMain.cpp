// A test program: the utility's window framework with a content that fails while it is built,
// as a failing library would, or (with "--fail-in-start-midi") when its MIDI side starts after
// the window is shown. Either way it must show the "Fatal Error" box and end.
#include "app/BContentBase.h"
#include "app/BWindow.h"
#include "base/Exception.h"

#include <juce_gui_basics/juce_gui_basics.h>

namespace
{

class FailingContent : public BContentBase
{
public:
    explicit FailingContent(bool failLate_) : failLate(failLate_) {}

    void buildContent() override
    {
        BContentBase::buildContent();
        if (! failLate)
            throw Exception("Cannot re-instanciate MidiManager!");
    }

    void startMidi() override { throw Exception("Cannot re-instanciate TMidiRouter!"); }

private:
    const bool failLate;
};

class FailingWindow : public BWindow
{
public:
    explicit FailingWindow(bool failLate_) : BWindow("Vantor LUMO"), failLate(failLate_) {}
    BContentBase* createContent() override { return new FailingContent(failLate); }

private:
    const bool failLate;
};

class FatalDemoApplication : public juce::JUCEApplication
{
public:
    const juce::String getApplicationName() override { return "Vantor LUMO fatal-error demo"; }
    const juce::String getApplicationVersion() override { return "1.1"; }
    bool moreThanOneInstanceAllowed() override { return true; }

    void initialise(const juce::String& commandLine) override
    {
        window = std::make_unique<FailingWindow>(commandLine.contains("--fail-in-start-midi"));
        window->createAndShowContent({}, true, true);
    }

    void shutdown() override { window.reset(); }

private:
    std::unique_ptr<FailingWindow> window;
};

} // namespace

START_JUCE_APPLICATION(FatalDemoApplication)
