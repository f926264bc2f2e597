#pragma once

#include "support/TempDirectory.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <functional>

// The toolkit for component tests: one GUI initialisation per test process, the test's thread
// being the message thread, and a way to let queued messages run.
namespace JuceTestSupport
{
    // The toolkit is initialised for the whole test run (the main thread is the message thread);
    // tests call this to say that they rely on it.
    void initialiseOnce();

    // Dispatches messages until `done` holds or `timeoutMs` has passed; returns `done()`.
    bool pumpUntil(const std::function<bool()>& done, int timeoutMs = 5000);

    // Dispatches messages for about `ms` milliseconds.
    void pumpFor(int ms);

    // A fresh, empty temporary folder, deleted when the object goes.
    // The tests' temporary directory, seen as toolkit files.
    class TempFolder
    {
    public:
        TempFolder() : folder(juce::String(directory.path().string())) {}
        juce::File file(const juce::String& name) const { return folder.getChildFile(name); }
        const juce::File& get() const { return folder; }

        TempFolder(const TempFolder&) = delete;
        TempFolder& operator=(const TempFolder&) = delete;

    private:
        lumo_test::TempDirectory directory;
        juce::File folder;
    };
}
