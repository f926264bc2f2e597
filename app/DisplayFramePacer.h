#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <atomic>
#include <functional>

// Lets the message thread take the display's pending text at most once per screen refresh, however
// fast other threads hand new text over: a flood of display messages then costs what one refresh
// costs, and the latest text still reaches the screen within one refresh.
//
// requestFrame (any thread) posts at most one asynchronous update per frame; on the message thread
// the frame runs at once when a refresh period has passed since the last one, otherwise a one-shot
// timer runs it at the next frame boundary. The period follows the refresh rate of the display that
// shows the given component (60 a second where the system reports none).
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
    void runFrameWhenDue();
    void runFrame();

    juce::Component& component;
    const std::function<void()> onFrame;
    std::atomic<bool> framePending { false };
    double lastFrameMs = -1.0e9;
};
