// Where the main window goes for a stored position.
#include "app/WindowPosition.h"

#include <gtest/gtest.h>

namespace
{

TEST(WindowPlacement, WithoutAStoredValueTheWindowIsCentred)
{
    EXPECT_EQ(placeOnAxis(0, true, 640, 0, 1920), 640);
    EXPECT_EQ(placeOnAxis(0, true, 494, 0, 1080), 293);
    EXPECT_EQ(placeOnAxis(0, true, 640, 1920, 1280), 1920 + 320);
}

TEST(WindowPlacement, FarRightValuePutsTheRightEdgeOnTheDisplayEdge)
{
    EXPECT_EQ(placeOnAxis(5000, false, 640, 0, 1920), 1280);
}

TEST(WindowPlacement, AThirdOfTheWindowMayHangOverTheLeftEdge)
{
    // 640 / 3 = 213.
    EXPECT_EQ(placeOnAxis(-300, false, 640, 0, 1920), 0);
    EXPECT_EQ(placeOnAxis(-213, false, 640, 0, 1920), -213);
    EXPECT_EQ(placeOnAxis(-214, false, 640, 0, 1920), 0);
    EXPECT_EQ(placeOnAxis(-200, false, 640, 0, 1920), -200);
}

TEST(WindowPlacement, AThirdOfTheWindowMayHangOverTheRightEdge)
{
    EXPECT_EQ(placeOnAxis(1920 - 213, false, 640, 0, 1920), 1707);
    EXPECT_EQ(placeOnAxis(1920 - 212, false, 640, 0, 1920), 1280);
}

TEST(WindowPlacement, DisplaysAwayFromTheOriginUseTheirOwnEdges)
{
    EXPECT_EQ(placeOnAxis(100, false, 640, 1920, 1280), 1920);
    EXPECT_EQ(placeOnAxis(2000, false, 640, 1920, 1280), 2000);
}

TEST(WindowPlacement, AGrownWindowMovesTheLeastDistanceThatKeepsItOnTheWorkArea)
{
    const juce::Rectangle<int> area(0, 0, 2880, 2120);
    const struct
    {
        juce::Rectangle<int> window, expected;
    } cases[] = {
        { { 100, 80, 960, 741 }, { 100, 80, 960, 741 } },           // fits: top-left kept
        { { 2180, 1610, 2560, 1976 }, { 320, 144, 2560, 1976 } },   // near the corner: back by the overhang
        { { 2000, 10, 1280, 988 }, { 1600, 10, 1280, 988 } },       // only one axis overhangs
        { { -50, -20, 640, 494 }, { 0, 0, 640, 494 } },             // hanging over the start
        { { 500, 500, 3000, 494 }, { 0, 500, 3000, 494 } },         // wider than the area
    };
    for (const auto& c : cases)
        EXPECT_EQ(keepWithinArea(c.window, area), c.expected) << c.window.toString();
    EXPECT_EQ(keepWithinArea({ 1900, 10, 640, 494 }, { 1920, 0, 1280, 1000 }),
              juce::Rectangle<int>(1920, 10, 640, 494));   // a display away from the origin
}

} // namespace
