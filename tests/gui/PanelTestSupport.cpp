#include "PanelTestSupport.h"

#include "base/AutoDelete.h"

namespace PanelTestSupport
{

std::unique_ptr<AppContentPanel> makePanel(const juce::File& settings, const juce::String& commandLine)
{
    JuceTestSupport::initialiseOnce();
    // A panel ends the MIDI singletons' lifetime when it goes; the next one starts a new one.
    AutoDelete::beginNewLifetime();
    auto panel = std::make_unique<AppContentPanel>(BString(settings.getFullPathName().toRawUTF8()));
    panel->buildContent();
    panel->initialise(commandLine);
    return panel;
}

std::vector<std::uint8_t> displayCodes(const char* text)
{
    std::vector<std::uint8_t> codes;
    for (const char* c = text; *c != 0; ++c)
    {
        if (*c >= 'A' && *c <= 'Z')
            codes.push_back(static_cast<std::uint8_t>(*c - 64));
        else if (*c >= '0' && *c <= '9')
            codes.push_back(static_cast<std::uint8_t>(100 + (*c - '0')));
        else
            codes.push_back(0);
    }
    return codes;
}

std::vector<std::uint8_t> displayMessage(const char* top, const char* bottom)
{
    std::vector<std::uint8_t> message { 0xF0, 0x77 };
    auto topCodes = displayCodes(top);
    topCodes.resize(8, 0);   // the bottom line starts at the ninth code
    for (auto code : topCodes)
        message.push_back(code);
    for (auto code : displayCodes(bottom))
        message.push_back(code);
    message.push_back(0x75);
    message.push_back(0xF7);
    return message;
}

void deliver(AppContentPanel& panel, const std::vector<std::uint8_t>& message)
{
    int handled = 0;
    panel.midiDataReceived(0, 0, message.data(), static_cast<int>(message.size()), &handled);
}

void deliver(AppContentPanel& panel, std::initializer_list<std::uint8_t> message)
{
    deliver(panel, std::vector<std::uint8_t>(message));
}

bool displayShows(AppContentPanel& panel, const juce::String& top, const juce::String& bottom, int timeoutMs)
{
    return JuceTestSupport::pumpUntil([&] {
        return panel.getTopLineText() == top && panel.getBottomLineText() == bottom;
    }, timeoutMs);
}

} // namespace PanelTestSupport
