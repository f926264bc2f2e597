#pragma once

#include "dialogs/Runnable.h"

#include <juce_gui_basics/juce_gui_basics.h>

class BContentBase;
class JuceUtilsInternalUpdater;

// The application's top-level window: a desktop window whose content is a BContentBase, created
// and driven through the content operations in a fixed order, optionally borderless with rounded
// corners. The first BWindow constructed is the program's main window until it is destroyed.
//
// Message thread only. The window owns its content; destroying the window first lets the
// content shut down (shutdownContent), then deletes it.
class BWindow : public juce::DocumentWindow,
                public juce::Timer,
                public Runnable,
                public juce::AsyncUpdater,
                private juce::ComponentPeer::ScaleFactorListener
{
public:
    static constexpr int kCornerSize = 50;
    static constexpr int kStartDelayMs = 20;

    explicit BWindow(const juce::String& title);
    ~BWindow() override;

    // The program's main window, or null.
    static BWindow* getMainWindow() noexcept;

    // Creates the content and runs buildContent and initialise, sizes the window to the content's
    // preferred size, shapes and shows it, and schedules the content's startMidi 20 ms later.
    // A library failure on the way shows the "Fatal Error" box and makes the program quit.
    // Returns false when the program is quitting instead of running.
    virtual bool createAndShowContent(const juce::String& commandLine, bool borderless, bool rounded);
    // Passes a second start's command line to the content.
    virtual void commandLineFromOtherInstance(const juce::String& commandLine);
    virtual void setMinimisedState(bool shouldBeMinimised);
    // Makes the content panel; the window takes ownership.
    virtual BContentBase* createContent() = 0;

    // Message thread: the content's shown size changed (its zoom); the window takes the new size,
    // keeping its top-left corner if it still fits the display's work area, else moving the
    // least distance that makes it fit, and its rounded corners scale with the content.
    void contentSizeChanged();
    // Message thread: keeps the window in front of all others, or no longer.
    void setKeptInFront(bool inFront);

    BContentBase* getContent() const noexcept { return content; }
    bool isBorderless() const noexcept { return borderless; }
    bool isRounded() const noexcept { return rounded; }
    // True once the window's shape has been set by the system (rounded windows only).
    bool hasRoundedShape() const noexcept { return roundedShapeSet; }

    void closeButtonPressed() override;
    void paint(juce::Graphics& g) override;
    // A borderless window is exactly as large as its content.
    juce::BorderSize<int> getBorderThickness() override;

    void timerCallback() override;
    void run(int, int) override;
    void handleAsyncUpdate() override {}

    BWindow(const BWindow&) = delete;
    BWindow& operator=(const BWindow&) = delete;

private:
    void showAndSchedule(bool shouldBeVisible);
    // Shapes a rounded window with corners scaled like its content.
    void shapeRounded();
    // The shape is in the screen's pixels: moved to a monitor of another scale, it is made again.
    void nativeScaleFactorChanged(double) override;
    void followPeerScale();
    void stopFollowingPeerScale();

    BContentBase* content = nullptr;   // owned as the window's content component
    bool borderless = false;
    bool rounded = false;
    bool startPending = false;
    bool contentInitialised = false;
    bool roundedShapeSet = false;
    JuceUtilsInternalUpdater* pendingStart = nullptr;   // self-owned; detached if we die first
    juce::ComponentPeer* scalePeer = nullptr;           // not owned; the peer we listen to
};
