#include "app/DisplayFramePacer.h"

#include <cmath>
#include <utility>

DisplayFramePacer::DisplayFramePacer(juce::Component& shownBy, std::function<void()> frame)
    : component(shownBy), onFrame(std::move(frame))
{
}

DisplayFramePacer::~DisplayFramePacer()
{
    cancel();
}

void DisplayFramePacer::requestFrame() noexcept
{
    // Only the first request of a frame posts; the others find their text taken with it.
    if (! framePending.exchange(true))
        triggerAsyncUpdate();
}

void DisplayFramePacer::cancel()
{
    cancelPendingUpdate();
    stopTimer();
}

double DisplayFramePacer::framePeriodMs() const
{
    double hz = 0.0;
    const auto& displays = juce::Desktop::getInstance().getDisplays();
    const auto* display = component.isOnDesktop() || component.getPeer() != nullptr
                              ? displays.getDisplayForRect(component.getScreenBounds())
                              : displays.getPrimaryDisplay();
    if (display != nullptr)
        hz = display->verticalFrequencyHz.value_or(0.0);
    // Some systems report nothing, or nonsense (0 over some remote sessions).
    if (! (hz >= 1.0))
        hz = kFallbackRefreshHz;
    return 1000.0 / hz;
}

void DisplayFramePacer::handleAsyncUpdate()
{
    if (! isTimerRunning())   // else the frame is booked already
        runFrameWhenDue();
}

void DisplayFramePacer::timerCallback()
{
    // The toolkit's timers count whole milliseconds and may come a little early.
    runFrameWhenDue();
}

void DisplayFramePacer::runFrameWhenDue()
{
    const double wait = framePeriodMs() - (juce::Time::getMillisecondCounterHiRes() - lastFrameMs);
    if (wait > 0.0)
    {
        startTimer(juce::jmax(1, static_cast<int>(std::ceil(wait))));
        return;
    }
    stopTimer();
    runFrame();
}

void DisplayFramePacer::runFrame()
{
    lastFrameMs = juce::Time::getMillisecondCounterHiRes();
    // Cleared before the text is taken: text handed over from now on books the next frame.
    framePending.store(false);
    onFrame();
}
