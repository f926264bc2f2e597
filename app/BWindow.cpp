#include "app/BWindow.h"

#include "app/AppPlatform.h"
#include "app/BContentBase.h"
#include "app/ErrorBox.h"
#include "app/WindowPosition.h"
#include "base/Exception.h"
#include "dialogs/JuceUtilsInternalUpdater.h"

namespace
{
BWindow* mainWindow = nullptr;
}

BWindow::BWindow(const juce::String& title)
    : juce::DocumentWindow(title, juce::Colour(0xFF000000),
                           juce::DocumentWindow::minimiseButton | juce::DocumentWindow::closeButton, true)
{
    if (mainWindow == nullptr)
        mainWindow = this;
}

BWindow::~BWindow()
{
    // A content that never finished its initialisation has nothing worth saving; saving it would
    // overwrite the user's settings with defaults.
    if (content != nullptr && contentInitialised)
        content->shutdownContent();
    stopFollowingPeerScale();
    if (mainWindow == this)
        mainWindow = nullptr;
    if (pendingStart != nullptr)
        pendingStart->detach();
    cancelPendingUpdate();
    stopTimer();
    // The DocumentWindow destruction deletes the content.
}

BWindow* BWindow::getMainWindow() noexcept
{
    return mainWindow;
}

bool BWindow::createAndShowContent(const juce::String& commandLine, bool borderless_, bool rounded_)
{
    const juce::MessageManagerLock lock;
    borderless = borderless_;
    rounded = rounded_;

    juce::String failure;
    try
    {
        content = createContent();
        setContentOwned(content, false);

        content->buildContent();
        content->contentStepDone();

        const bool resizable = content->wantsResizable();
        setResizable(resizable, resizable);

        if (! content->initialise(commandLine))
        {
            juce::JUCEApplicationBase::quit();
            return false;
        }
        contentInitialised = true;

        setContentComponentSize(content->getShownWidth(), content->getShownHeight());

        if (borderless)
        {
            setUsingNativeTitleBar(false);
            setDropShadowEnabled(false);
            if (rounded)
            {
                shapeRounded();
                followPeerScale();
            }
            else
                setBackgroundColour(juce::Colour(0x00FFFFFF));
        }

        AppPlatform::keepRepaintsFlowing();
        showAndSchedule(content->wantsVisible());
        return true;
    }
    catch (const Exception& e)
    {
        failure = juce::String::fromUTF8(e.what());
    }
    catch (const std::exception& e)
    {
        // Not the library's own failure, but no less fatal; the user learns what happened.
        failure = juce::String::fromUTF8(e.what());
    }

    showFatalError(failure);
    juce::JUCEApplicationBase::quit();
    return false;
}

void BWindow::showAndSchedule(bool shouldBeVisible)
{
    if (shouldBeVisible)
        setVisible(true);
    startPending = true;
    startTimer(kStartDelayMs);
}

void BWindow::shapeRounded()
{
    const float scale = content != nullptr ? content->getPlateScale() : 1.0f;
    roundedShapeSet = AppPlatform::setRoundedWindowShape(*this, juce::roundToInt(kCornerSize * scale));
}

void BWindow::contentSizeChanged()
{
    if (content == nullptr)
        return;
    // One move and resize, so that the window never shows at the new size in the old place.
    const auto before = getBounds();
    const auto frame = getBounds().getWidth() - content->getWidth();
    const auto frameHeight = getBounds().getHeight() - content->getHeight();
    const auto wanted = before.withSize(content->getShownWidth() + frame, content->getShownHeight() + frameHeight);
    setBounds(keepWithinArea(wanted, workAreaFor(before)));
    if (borderless && rounded)
        shapeRounded();
}

void BWindow::setKeptInFront(bool inFront)
{
    if (inFront == isAlwaysOnTop())
        return;
    // Some systems make a new native window for this, which has no shape yet.
    stopFollowingPeerScale();
    setAlwaysOnTop(inFront);
    if (borderless && rounded)
    {
        shapeRounded();
        followPeerScale();
    }
}

void BWindow::nativeScaleFactorChanged(double)
{
    if (borderless && rounded)
        shapeRounded();
}

void BWindow::followPeerScale()
{
    stopFollowingPeerScale();
    scalePeer = getPeer();
    if (scalePeer != nullptr)
        scalePeer->addScaleFactorListener(this);
}

void BWindow::stopFollowingPeerScale()
{
    if (scalePeer != nullptr && scalePeer == getPeer())
        scalePeer->removeScaleFactorListener(this);
    scalePeer = nullptr;
}

void BWindow::commandLineFromOtherInstance(const juce::String& commandLine)
{
    if (content != nullptr)
        content->commandLineFromOtherInstance(commandLine);
}

void BWindow::setMinimisedState(bool shouldBeMinimised)
{
    setMinimised(shouldBeMinimised);
}

void BWindow::closeButtonPressed()
{
    if (content == nullptr || content->canClose())
        juce::JUCEApplicationBase::quit();
}

void BWindow::paint(juce::Graphics& g)
{
    if (borderless && ! rounded)
    {
        g.setColour(findColour(juce::ResizableWindow::backgroundColourId));
        g.fillRoundedRectangle(getLocalBounds().toFloat(), static_cast<float>(kCornerSize));
        return;
    }
    // No background under what the content paints opaque: the display's text changes up to once
    // a frame, and each time the window would fill the whole area beneath it first.
    if (content != nullptr && content->isVisible())
    {
        g.excludeClipRegion(getLocalArea(content, content->getOpaqueArea()));
        if (g.isClipEmpty())
            return;
    }
    juce::DocumentWindow::paint(g);
}

juce::BorderSize<int> BWindow::getBorderThickness()
{
    if (borderless)
        return {};
    return juce::DocumentWindow::getBorderThickness();
}

void BWindow::timerCallback()
{
    if (startPending)
    {
        startPending = false;
        if (content != nullptr && pendingStart == nullptr)
            pendingStart = JuceUtilsInternalUpdater::post(this, 0, 0);
    }
    stopTimer();
}

void BWindow::run(int, int)
{
    pendingStart = nullptr;
    if (content == nullptr)
        return;
    try
    {
        content->startMidi();
        content->contentStepDone();
    }
    catch (const std::exception& e)
    {
        // As at start-up, the failure (the library's or any other) ends the program with its
        // text instead of escaping into the message loop. The box does not nest a message loop
        // inside this callback: the program quits from the box's own callback.
        showFatalErrorAsync(juce::String::fromUTF8(e.what()), [] { juce::JUCEApplicationBase::quit(); });
    }
}
