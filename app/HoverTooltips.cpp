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
    stopTimer();
}

void HoverTooltips::mouseEnter(const juce::MouseEvent&)
{
    cancelPendingUpdate();
    if (window == nullptr)
    {
        window = makeWindow();
        startTimer(kLeaveCheckMs);
    }
}

void HoverTooltips::mouseExit(const juce::MouseEvent&)
{
    triggerAsyncUpdate();
}

void HoverTooltips::handleAsyncUpdate()
{
    if (!area.isMouseOver(true))
        closeWindow();
}

void HoverTooltips::checkPointerStillOver()
{
    // The pointer's position as the system has it now, not the toolkit's last report.
    const auto pointer = juce::Desktop::getMousePosition();
    if (!area.isShowing() || !area.getScreenBounds().contains(pointer))
        closeWindow();
}

void HoverTooltips::closeWindow()
{
    stopTimer();
    window.reset();
}
