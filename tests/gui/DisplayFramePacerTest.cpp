// The display's frame pacing: a flood of hand-overs from another thread runs at most one frame per
// refresh period, and the last hand-over is taken within a period after the flood.
#include "JuceTestSupport.h"

#include "app/DisplayFramePacer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace
{

TEST(DisplayFramePacerTest, FloodRunsAtMostOneFramePerRefreshAndTakesTheLastHandOver)
{
    juce::Component shown;
    std::atomic<int> handedOver { 0 };
    int frames = 0;
    int lastTaken = 0;
    DisplayFramePacer pacer(shown, [&] { ++frames; lastTaken = handedOver.load(); });
    const double period = pacer.framePeriodMs();
    ASSERT_GE(period, 1.0);

    std::atomic<bool> stop { false };
    std::thread flood([&] {
        while (! stop.load())
        {
            handedOver.fetch_add(1);
            pacer.requestFrame();
        }
    });
    const double start = juce::Time::getMillisecondCounterHiRes();
    JuceTestSupport::pumpFor(500);
    stop = true;
    flood.join();
    const double floodMs = juce::Time::getMillisecondCounterHiRes() - start;

    // One frame may be due at once, then one per period; the timer may be late, never early.
    EXPECT_LE(frames, static_cast<int>(floodMs / period) + 2);
    EXPECT_GE(frames, 2);
    EXPECT_TRUE(JuceTestSupport::pumpUntil([&] { return lastTaken == handedOver.load(); }, 2000));
}

} // namespace
