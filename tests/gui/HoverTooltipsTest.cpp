#include "app/HoverTooltips.h"
#include "tests/gui/JuceTestSupport.h"

#include <gtest/gtest.h>

namespace
{
juce::MouseEvent pointerEvent(juce::Component& over)
{
    const auto now = juce::Time::getCurrentTime();
    return juce::MouseEvent(juce::Desktop::getInstance().getMainMouseSource(), {}, {}, 0.0f, 0.0f, 0.0f, 0.0f,
                            0.0f, &over, &over, now, {}, now, 0, false);
}

struct HoverArea
{
    HoverArea()
    {
        JuceTestSupport::initialiseOnce();
        area.addAndMakeVisible(first);
        area.addAndMakeVisible(second);
    }

    juce::Component area, first, second;
    int windowsMade = 0;
    HoverTooltips tips { area, [this] {
                            ++windowsMade;
                            return std::make_unique<juce::TooltipWindow>();
                        } };
};
} // namespace

TEST(HoverTooltips, NoWindowUntilThePointerComesAndNoneAfterItLeft)
{
    HoverArea hover;
    EXPECT_EQ(hover.tips.getWindow(), nullptr);

    hover.tips.mouseEnter(pointerEvent(hover.first));
    ASSERT_NE(hover.tips.getWindow(), nullptr);

    // No pointer is over anything here, so the exit is final once the loop has run.
    hover.tips.mouseExit(pointerEvent(hover.first));
    EXPECT_TRUE(JuceTestSupport::pumpUntil([&] { return hover.tips.getWindow() == nullptr; }));
    EXPECT_EQ(hover.windowsMade, 1);
}

TEST(HoverTooltips, MovingBetweenChildrenKeepsTheSameWindow)
{
    HoverArea hover;
    hover.tips.mouseEnter(pointerEvent(hover.first));
    juce::TooltipWindow* const shown = hover.tips.getWindow();

    // Leaving one child and entering the next, in the order the toolkit reports them.
    hover.tips.mouseExit(pointerEvent(hover.first));
    hover.tips.mouseEnter(pointerEvent(hover.second));
    JuceTestSupport::pumpFor(50);

    EXPECT_EQ(hover.tips.getWindow(), shown);
    EXPECT_EQ(hover.windowsMade, 1);
}
