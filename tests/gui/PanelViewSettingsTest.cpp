// The zoom steps and the stored view: what the shortcuts step to, and which stored texts count.
#include "app/PanelViewSettings.h"

#include "base/BString.h"

#include <gtest/gtest.h>

namespace
{

TEST(PanelViewSettings, ShortcutsStepThroughTheZoomsAndStopAtTheEnds)
{
    const struct
    {
        int from, larger, smaller;
    } cases[] = { { 100, 150, 100 }, { 150, 200, 100 }, { 200, 300, 150 }, { 300, 400, 200 }, { 400, 400, 300 } };
    for (const auto& c : cases)
    {
        EXPECT_EQ(PanelViewSettings::largerZoom(c.from), c.larger) << c.from;
        EXPECT_EQ(PanelViewSettings::smallerZoom(c.from), c.smaller) << c.from;
    }
}

TEST(PanelViewSettings, OnlyAStoredStepCountsAnythingElseIsOneHundredPercent)
{
    const struct
    {
        const char* text;
        int zoom;
    } cases[] = { { "200", 200 }, { " 400", 400 }, { "150", 150 }, { "", 100 }, { "abc", 100 }, { "250", 100 },
                  { "0", 100 },   { "-200", 100 }, { "99999999999999", 100 }, { "200%", 100 }, { "2e2", 100 } };
    for (const auto& c : cases)
        EXPECT_EQ(PanelViewSettings::zoomFromText(BString(c.text)), c.zoom) << "\"" << c.text << "\"";
}

} // namespace
