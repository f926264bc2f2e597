#pragma once

#include "JuceTestSupport.h"

#include "app/AppContentPanel.h"

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <vector>

namespace PanelTestSupport
{
    // A panel built and initialised as the window does it, with its settings in `settings`.
    std::unique_ptr<AppContentPanel> makePanel(const juce::File& settings, const juce::String& commandLine = {});

    // Code bytes of the display's character set for a text of A-Z, 0-9 and spaces.
    std::vector<std::uint8_t> displayCodes(const char* text);

    // A display message F0 77 <top codes, padded to 8 with spaces> <bottom codes> 75 F7.
    std::vector<std::uint8_t> displayMessage(const char* top, const char* bottom);

    // Delivers a message as the MIDI input thread does.
    void deliver(AppContentPanel& panel, const std::vector<std::uint8_t>& message);
    void deliver(AppContentPanel& panel, std::initializer_list<std::uint8_t> message);

    // Lets the panel's pending display update run.
    bool displayShows(AppContentPanel& panel, const juce::String& top, const juce::String& bottom, int timeoutMs = 5000);
}
