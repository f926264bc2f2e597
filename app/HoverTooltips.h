#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <functional>
#include <memory>

// The tooltips of one component and its children, shown by a tooltip window that exists only
// while the pointer is over that component. A tooltip window polls the pointer about ten times a
// second for as long as it lives (and keeps the desktop's own pointer poll running), which would
// wake an idle program that nobody is pointing at. Message thread only. Not copyable.
class HoverTooltips : public juce::MouseListener, private juce::AsyncUpdater
{
public:
    using WindowFactory = std::function<std::unique_ptr<juce::TooltipWindow>()>;

    HoverTooltips(juce::Component& area, WindowFactory makeWindow);
    ~HoverTooltips() override;

    // The tooltip window while the pointer is over the area, else nullptr.
    juce::TooltipWindow* getWindow() const noexcept { return window.get(); }

    void mouseEnter(const juce::MouseEvent&) override;
    void mouseExit(const juce::MouseEvent&) override;

private:
    // After the pointer moved from one child to another, the exit of the first comes before the
    // entry of the second: whether it left the area is known once both were handled.
    void handleAsyncUpdate() override;

    juce::Component& area;
    const WindowFactory makeWindow;
    std::unique_ptr<juce::TooltipWindow> window;

    JUCE_DECLARE_NON_COPYABLE(HoverTooltips)
};
