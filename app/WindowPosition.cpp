#include "app/WindowPosition.h"

#include "app/protocol/CurrentSection.h"
#include "base/TIniFile.h"

namespace
{
const char* const kSection = CurrentSection::kName;
const char* const kLeftKey = "MainLeft";
const char* const kTopKey = "MainTop";
constexpr int kNoPosition = -1000;

bool readInt(const TIniFile& settings, const char* key, int& value)
{
    const BString text = settings.ReadString(kSection, key, BString());
    // -1000 is the "no position" marker of the stored format, so it centres too.
    return text.ToInt(0, value) && value != kNoPosition;
}
} // namespace

int placeOnAxis(int stored, bool absent, int extent, int displayStart, int displayExtent)
{
    if (absent)
        return displayStart + displayExtent / 2 - extent / 2;
    if (stored < displayStart - extent / 3)
        return displayStart;
    if (stored > displayStart + displayExtent - extent / 3)
        return displayStart + displayExtent - extent;
    return stored;
}

juce::Rectangle<int> firstDisplayArea()
{
    const auto& displays = juce::Desktop::getInstance().getDisplays().displays;
    if (displays.isEmpty())
        return { 0, 0, 1024, 768 };
    return displays.getReference(0).totalArea;
}

void restoreWindowPosition(juce::Component& component, const TIniFile& settings, int width, int height)
{
    auto* window = component.getTopLevelComponent();

    const auto area = firstDisplayArea();

    int left = 0;
    int top = 0;
    const bool noLeft = ! readInt(settings, kLeftKey, left);
    const bool noTop = ! readInt(settings, kTopKey, top);

    if (width < 0)
        width = window->getWidth();
    if (height < 0)
        height = window->getHeight();

    window->setBounds(placeOnAxis(left, noLeft, width, area.getX(), area.getWidth()),
                      placeOnAxis(top, noTop, height, area.getY(), area.getHeight()),
                      width, height);
}

void saveWindowPosition(juce::Component& component, TIniFile& settings)
{
    auto* window = component.getTopLevelComponent();
    auto& section = settings.GetSection(kSection);
    section.SetValue(kLeftKey, BString::FromInt(window->getX()));
    section.SetValue(kTopKey, BString::FromInt(window->getY()));
}

juce::Rectangle<int> keepWithinArea(juce::Rectangle<int> window, juce::Rectangle<int> area)
{
    const auto axis = [](int start, int extent, int areaStart, int areaExtent) {
        if (extent >= areaExtent || start < areaStart)
            return areaStart;
        return juce::jmin(start, areaStart + areaExtent - extent);
    };
    return window.withPosition(axis(window.getX(), window.getWidth(), area.getX(), area.getWidth()),
                               axis(window.getY(), window.getHeight(), area.getY(), area.getHeight()));
}

juce::Rectangle<int> workAreaFor(juce::Rectangle<int> window)
{
    if (const auto* display = juce::Desktop::getInstance().getDisplays().getDisplayForRect(window))
        return display->userArea;
    return firstDisplayArea();
}
