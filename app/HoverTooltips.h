#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <functional>
#include <memory>

// The tooltips of one component and its children, shown by a tooltip window that exists only
// while the pointer is over that component. A tooltip window polls the pointer about ten times a
// second for as long as it lives (and keeps the desktop's own pointer poll running), which would
// wake an idle program that nobody is pointing at.
//
// The window goes when the toolkit reports that the pointer left, and also when a check once a
// second finds the pointer elsewhere: under Wine the report of a pointer that left for a place
// outside every Wine window carries its last position inside, so the toolkit never hears of the
// exit. Message thread only. Not copyable.
class HoverTooltips : public juce::MouseListener, private juce::AsyncUpdater, private juce::Timer
{
public:
    using WindowFactory = std::function<std::unique_ptr<juce::TooltipWindow>()>;
    static constexpr int kLeaveCheckMs = 1000;

    HoverTooltips(juce::Component& area, WindowFactory makeWindow);
    ~HoverTooltips() override;

    // The tooltip window while the pointer is over the area, else nullptr.
    juce::TooltipWindow* getWindow() const noexcept { return window.get(); }

    void mouseEnter(const juce::MouseEvent&) override;
    void mouseExit(const juce::MouseEvent&) override;
    // The periodic check: lets the window go unless the pointer is over the shown area.
    void checkPointerStillOver();

private:
    // After the pointer moved from one child to another, the exit of the first comes before the
    // entry of the second: whether it left the area is known once both were handled.
    void handleAsyncUpdate() override;
    void timerCallback() override { checkPointerStillOver(); }
    void closeWindow();

    juce::Component& area;
    const WindowFactory makeWindow;
    std::unique_ptr<juce::TooltipWindow> window;

    JUCE_DECLARE_NON_COPYABLE(HoverTooltips)
};
