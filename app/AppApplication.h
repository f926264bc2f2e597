#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <memory>

class AppWindow;

// The utility's application object: one instance per user session (a second start hands its
// command line over and ends), one main window.
class AppApplication : public juce::JUCEApplication
{
public:
    AppApplication();
    ~AppApplication() override;

    const juce::String getApplicationName() override { return "Vantor LUMO"; }
    const juce::String getApplicationVersion() override { return "1.1"; }
    bool moreThanOneInstanceAllowed() override { return false; }

    // Creates the window and its content (message thread).
    void initialise(const juce::String& commandLine) override;
    // Deletes the window, which saves the settings through its content.
    void shutdown() override;
    // Passes a second start's command line to the window (the main panel ignores it).
    void anotherInstanceStarted(const juce::String& commandLine) override;
    void suspended() override {}
    void resumed() override {}

private:
    std::unique_ptr<AppWindow> mainWindow;
};
