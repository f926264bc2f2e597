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

} // namespace
