#include "app/DisplayFramePacer.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace
{
// Refresh ticks come from a timer of whole milliseconds (16 ms for 60 Hz): a tick this much
// before the due time still takes the frame, and the due times keep the average rate.
constexpr double kTickToleranceMs = 2.0;
// Idle ticks after the last frame before the attachment lets go (the window's tick may sleep).
constexpr int kIdleTicksBeforeLettingGo = 3;
} // namespace

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
    // Paired with onRefreshTick's letting go: either the tick sees this request, or this request
    // sees that the ticks stopped and posts.
    framePending.store(true);
    if (! onRefreshTicks.load())
        triggerAsyncUpdate();
}

void DisplayFramePacer::cancel()
{
    cancelPendingUpdate();
    stopTimer();
    onRefreshTicks.store(false);
    refreshTicks.reset();
    framePending.store(false);
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
    // Posted by a request, or by the last tick before letting go (its attachment is not let go
    // from inside its own callback).
    if (! onRefreshTicks.load() && refreshTicks != nullptr)
        refreshTicks.reset();
    if (! framePending.load())
        return;
    if (attachToRefreshTicks())
        onRefreshTicks.store(true);
    runFrameWhenDue();
}

bool DisplayFramePacer::attachToRefreshTicks()
{
#if JUCE_LINUX
    // A window's tick runs while it has something to paint or a listener; it may sleep right now,
    // so the timer below still books the first frame.
    if (component.getPeer() == nullptr)
        return false;
    if (refreshTicks == nullptr)
        refreshTicks = std::make_unique<juce::VBlankAttachment>(&component, [this] { onRefreshTick(); });
    idleTicks = 0;
    return true;
#else
    // Windows hands vertical blanks over from a thread per monitor, which the toolkit does not start
    // under Wine; the timer serves there.
    return false;
#endif
}

void DisplayFramePacer::timerCallback()
{
    runFrameWhenDue();
}

void DisplayFramePacer::onRefreshTick()
{
    const double now = juce::Time::getMillisecondCounterHiRes();
    if (now < nextFrameDueMs - kTickToleranceMs)
        return;
    if (framePending.load())
    {
        idleTicks = 0;
        stopTimer();
        runFrame(now);
        return;
    }
    if (++idleTicks < kIdleTicksBeforeLettingGo || ! onRefreshTicks.load())
        return;
    onRefreshTicks.store(false);
    if (framePending.load())
    {
        // A request came meanwhile, perhaps without posting.
        onRefreshTicks.store(true);
        idleTicks = 0;
        runFrame(now);
        return;
    }
    triggerAsyncUpdate();
}

void DisplayFramePacer::runFrameWhenDue()
{
    if (! framePending.load())
    {
        stopTimer();
        return;
    }
    const double now = juce::Time::getMillisecondCounterHiRes();
    const double wait = nextFrameDueMs - now;
    if (wait > 0.0)
    {
        // The toolkit's timers count whole milliseconds and may come a little early.
        startTimer(juce::jmax(1, static_cast<int>(std::ceil(wait))));
        return;
    }
    stopTimer();
    runFrame(now);
}

void DisplayFramePacer::runFrame(double now)
{
    // A frame taken a little early keeps the average rate; one that comes late starts afresh.
    nextFrameDueMs = std::max(now, nextFrameDueMs) + framePeriodMs();
    // Cleared before the text is taken: text handed over from now on books the next frame.
    framePending.store(false);
    onFrame();
}
