#include "app/HoverTooltips.h"

HoverTooltips::HoverTooltips(juce::Component& area_, WindowFactory makeWindow_)
    : area(area_), makeWindow(std::move(makeWindow_))
{
    area.addMouseListener(this, true);
}

HoverTooltips::~HoverTooltips()
{
    area.removeMouseListener(this);
    cancelPendingUpdate();
}

void HoverTooltips::mouseEnter(const juce::MouseEvent&)
{
    cancelPendingUpdate();
    if (window == nullptr)
        window = makeWindow();
}

void HoverTooltips::mouseExit(const juce::MouseEvent&)
{
    triggerAsyncUpdate();
}

void HoverTooltips::handleAsyncUpdate()
{
    if (!area.isMouseOver(true))
        window.reset();
}
