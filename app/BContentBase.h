#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <memory>

// Base of the content panel of a BWindow: the window drives it through a fixed sequence of
// content operations (buildContent, initialise, startMidi later, shutdownContent at the end).
// It paints the background picture from the program's resources, takes the picture's size as its
// preferred size, and lets the user drag the window by its background.
//
// Message thread only, except where a subclass says otherwise. Not copyable.
class BContentBase : public juce::Component,
                     public juce::AsyncUpdater
{
public:
    static constexpr int kDefaultWidth = 365;
    static constexpr int kDefaultHeight = 255;
    static constexpr int kNoDrag = -50000;

    BContentBase();
    ~BContentBase() override;

    // Loads the background picture "background.png" (its size becomes the preferred size) and
    // starts listening to the main window's own mouse events for dragging.
    virtual void buildContent();
    // Called with the program's command line after buildContent; false makes the program quit.
    virtual bool initialise(const juce::String& commandLine);
    // A second start of the program handed its command line to this instance.
    virtual void commandLineFromOtherInstance(const juce::String& commandLine);
    // Runs once, on the message thread, shortly after the window has been shown.
    virtual void startMidi();
    // Asked before the window closes on the user's request.
    virtual bool canClose();
    // Runs when the window is destroyed, before the content is.
    virtual void shutdownContent();
    // Called after buildContent and after startMidi.
    virtual void contentStepDone();
    virtual bool wantsResizable();
    virtual bool wantsVisible();

    int getContentWidth() const noexcept { return contentWidth; }
    int getContentHeight() const noexcept { return contentHeight; }
    // The factor the content is shown at (the user's zoom); the window's size and rounded corners
    // follow it. The background picture is drawn from one at least as sharp as the screen shows.
    float getPlateScale() const noexcept { return plateScale; }
    int getShownWidth() const noexcept { return juce::roundToInt(static_cast<float>(contentWidth) * plateScale); }
    int getShownHeight() const noexcept { return juce::roundToInt(static_cast<float>(contentHeight) * plateScale); }
    bool hasBackgroundImage() const noexcept { return backgroundImage != nullptr; }
    // The part of the content that its picture paints opaque (between the rounded corners, less a
    // pixel at each side, where a scaled picture's edge may blend), in its own coordinates; empty
    // without a picture. Nothing beneath it shows there.
    juce::Rectangle<int> getOpaqueArea() const;

    void paint(juce::Graphics& g) override;
    void mouseDown(const juce::MouseEvent& event) override;
    void mouseDrag(const juce::MouseEvent& event) override;
    void mouseUp(const juce::MouseEvent& event) override;
    void mouseDoubleClick(const juce::MouseEvent& event) override;

    // The panel's own asynchronous update; subclasses override it.
    void handleAsyncUpdate() override {}

    BContentBase(const BContentBase&) = delete;
    BContentBase& operator=(const BContentBase&) = delete;

protected:
    // Sets the factor and repaints; the caller sizes the content and lays out its children.
    void setPlateScale(float scale);

    std::unique_ptr<juce::Drawable> backgroundImage;
    int contentWidth = kDefaultWidth;
    int contentHeight = kDefaultHeight;

private:
    void moveWindowBy(const juce::MouseEvent& event);
    // The picture drawn `scale` times as large as the plain one, loaded on first use (only one
    // is kept: they are large); invalid when the program carries none.
    const juce::Image& sharperPicture(int scale);

    // Rows of the plain picture from this far below its top to as far above its bottom are
    // opaque (the rounded corners lie outside them).
    static constexpr int kOpaqueBandInset = 26;

    float plateScale = 1.0f;
    juce::Image opaquePicture;   // the plain picture without its alpha, made on first use
    juce::Image sharperImage;
    int sharperImageScale = 0;

    int dragOriginX = kNoDrag;
    int dragOriginY = kNoDrag;
    juce::Component* listenedWindow = nullptr;   // not owned; the main window while we listen
};
