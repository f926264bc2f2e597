#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

// A component that fills its whole area with one colour (the dialogs' separator lines).
class SolidComponent : public juce::Component
{
public:
    explicit SolidComponent(juce::Colour colour_ = juce::Colours::white) : colour(colour_) {}

    void setColour(juce::Colour newColour)
    {
        colour = newColour;
        repaint();
    }
    juce::Colour getColour() const noexcept { return colour; }

    void paint(juce::Graphics& g) override { g.fillAll(colour); }

private:
    juce::Colour colour;

    JUCE_DECLARE_NON_COPYABLE(SolidComponent)
};
