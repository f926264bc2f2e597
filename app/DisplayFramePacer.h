#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <atomic>
#include <functional>
#include <memory>

// Lets the message thread take the display's pending text at most once per screen refresh, however
// fast other threads hand new text over: a flood of display messages then costs what one refresh
// costs, and the latest text still reaches the screen within one refresh.
//
// requestFrame (any thread) books a frame. A frame runs when a refresh period has passed since the
// last one began (on average never more often; the period follows the refresh rate of the display
// that shows the component, 60 a second where the system reports none).
//
// On Linux, while the component is in a window, frames ride on the window's own refresh tick
// (a vertical-blank attachment, attached for as long as frames keep coming and let go a few idle
// ticks after): the tick that takes the text paints it, and a flood posts nothing to the message
// thread. Elsewhere, and for a component without a window, the first request of a frame posts an
// asynchronous update, which runs the frame at once when it is due or books a one-shot timer for
// the frame boundary.
//
// Threads: requestFrame from any thread; everything else on the message thread. The frame callback
// runs on the message thread. Not copyable.
class DisplayFramePacer : private juce::AsyncUpdater,
                          private juce::Timer
{
public:
    static constexpr double kFallbackRefreshHz = 60.0;

    DisplayFramePacer(juce::Component& shownBy, std::function<void()> frame);
    ~DisplayFramePacer() override;

    // Any thread: something new waits for the next frame.
    void requestFrame() noexcept;
    // Message thread: no frame runs after this returns (until the next request).
    void cancel();
    // The frame period in milliseconds for the display that shows the component now.
    double framePeriodMs() const;

    DisplayFramePacer(const DisplayFramePacer&) = delete;
    DisplayFramePacer& operator=(const DisplayFramePacer&) = delete;

private:
    void handleAsyncUpdate() override;
    void timerCallback() override;
    void onRefreshTick();
    bool attachToRefreshTicks();
    // Runs the frame if one is booked and due, else books the timer for when it is due.
    void runFrameWhenDue();
    void runFrame(double now);

    juce::Component& component;
    const std::function<void()> onFrame;
    std::atomic<bool> framePending { false };
    // True while the window's refresh ticks run the frames: requests then post nothing.
    std::atomic<bool> onRefreshTicks { false };
    std::unique_ptr<juce::VBlankAttachment> refreshTicks;
    int idleTicks = 0;
    // The earliest start of the next frame (library milliseconds).
    double nextFrameDueMs = -1.0e9;
};
