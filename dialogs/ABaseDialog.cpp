#include "dialogs/ABaseDialog.h"

#include "dialogs/NativeWindow.h"

namespace
{
void settleAfterFade(ABaseDialog& dialog, int fadeMilliseconds)
{
    // Not every window system redraws a see-through window whose opacity changed (Wine without
    // a compositor showed only the dialog's outline until later input), nor hands the keyboard
    // to a window that was brought up without activation. Once the fade is over the dialog is
    // drawn whole and takes the keyboard; where the fade already did both, nothing changes.
    juce::Component::SafePointer<ABaseDialog> self(&dialog);
    juce::Timer::callAfterDelay(fadeMilliseconds + 50, [self] {
        if (self == nullptr || ! self->isVisible())
            return;
        self->setAlpha(1.0f);
        self->repaint();
        self->toFront(true);
    });
}
} // namespace

ABaseDialog::ABaseDialog(const juce::String& title, juce::Component* owner_)
    : juce::DialogWindow(title, juce::Colours::lightgrey, true, false),
      owner(owner_)
{
}

ABaseDialog::~ABaseDialog()
{
    cancelPendingUpdate();
    juce::Desktop::getInstance().getAnimator().cancelAnimation(this, false);
}

void ABaseDialog::showDialog(bool sizeAndCentreFirst)
{
    if (sizeAndCentreFirst)
        sizeAndCentre();

    if (! modal || isCurrentlyModal(false))
    {
        setVisible(true);
    }
    else
    {
        // Before the modal state begins: the toolkit ends a modal state whose component changes
        // its native window while not yet showing.
        makeNativeWindow();
        runModalLoop();   // enterModalState makes it visible through setVisible
    }

    toFront(false);
}

void ABaseDialog::sizeAndCentre()
{
    const auto border = getContentComponentBorder();
    setSize(getContentWidth() + border.getLeftAndRight(),
            getContentHeight() + border.getTopAndBottom());

    if (owner != nullptr)
    {
        if (auto* top = owner->getTopLevelComponent(); top->getWidth() > 0 && top->getHeight() > 0)
        {
            const auto area = top->getBounds();
            const int x = area.getX() + area.getWidth() / 2 - getWidth() / 2;
            const int y = area.getY() + area.getHeight() / 2 - getHeight() / 2;
            setTopLeftPosition(juce::jmax(0, x), juce::jmax(0, y));
            return;
        }
    }

    juce::Rectangle<int> area;
    if (auto* parent = getParentComponent())
        area = parent->getLocalBounds();
    else if (auto* display = juce::Desktop::getInstance().getDisplays().getPrimaryDisplay())
        area = display->userArea;
    else
        return;

    setTopLeftPosition(area.getX() + area.getWidth() / 2 - getWidth() / 2,
                       area.getY() + area.getHeight() / 2 - getHeight() / 2);
}

void ABaseDialog::setVisible(bool shouldBeVisible)
{
    // Other threads never touch the window, not even to read its state: the request goes to the
    // message thread as it is, and the steps below run there.
    if (handOver(shouldBeVisible ? showRequest : hideRequest))
        return;

    if (inTransition)
    {
        juce::Component::setVisible(shouldBeVisible);
        return;
    }

    if (shouldBeVisible && getContentComponent() == nullptr)
    {
        setupWindow();
        setContentOwned(createContentComponent(), false);
        sizeAndCentre();
    }

    if (shouldBeVisible && ! isVisible())
        showStep();
    else if (! shouldBeVisible && isVisible())
        hideStep();
}

void ABaseDialog::closeButtonPressed()
{
    hideStep();
}

void ABaseDialog::handleAsyncUpdate()
{
    const int request = pendingRequest.exchange(noRequest);
    if (request == showRequest)
        setVisible(true);   // also creates the content when it is still missing
    else if (request == hideRequest)
        setVisible(false);
}

bool ABaseDialog::handOver(Request request)
{
    auto* mm = juce::MessageManager::getInstanceWithoutCreating();
    if (mm == nullptr || mm->isThisTheMessageThread() || mm->currentThreadHasLockedMessageManager())
        return false;

    // A window of its own gets its native window only while it is shown; creating that is
    // message-thread work too, so it counts as having one all the time.
    const bool hasPeer = getParentComponent() == nullptr || getParentComponent()->getPeer() != nullptr;
    if (! hasPeer)
        return false;

    pendingRequest.store(request);
    triggerAsyncUpdate();
    return true;
}

void ABaseDialog::showStep()
{
    if (handOver(showRequest))
        return;

    inTransition = true;
    makeNativeWindow();
    auto& animator = juce::Desktop::getInstance().getAnimator();
    animator.cancelAnimation(this, false);
    animator.fadeIn(this, fadeMilliseconds);
    // Mapping a window does not raise it everywhere (X11 without a window manager keeps the
    // creation order, and the main window is created after its dialogs).
    toFront(false);
    NativeWindow::raise(*this);
    inTransition = false;
    settleAfterFade(*this, fadeMilliseconds);
}


void ABaseDialog::makeNativeWindow()
{
    // The native window exists only while the dialog is shown: a hidden one would keep a
    // refresh timer of its own running for the whole run.
    if (getParentComponent() == nullptr && ! isOnDesktop())
        addToDesktop(getDesktopWindowStyleFlags());
}

void ABaseDialog::hideStep()
{
    if (handOver(hideRequest))
        return;

    inTransition = true;
    auto& animator = juce::Desktop::getInstance().getAnimator();
    animator.cancelAnimation(this, false);
    // A proxy image fades while the window itself goes at once. The proxy needs a display to
    // take its scale from; without a screen there is nothing to fade anyway.
    if (isShowing() && juce::Desktop::getInstance().getDisplays().getPrimaryDisplay() != nullptr)
        animator.fadeOut(this, fadeMilliseconds);
    juce::Component::setVisible(false);
    exitModalState(0);
    // The fading image is a window of its own, so this one can go at once.
    if (getParentComponent() == nullptr && isOnDesktop())
        removeFromDesktop();
    inTransition = false;
    repaintOwnerWindow();
}

void ABaseDialog::repaintOwnerWindow()
{
    // Where no compositor keeps window contents (a bare X server), the owner is not always told
    // to redraw the area that the dialog and its fading image leave: it redraws itself now and
    // once the fade is over.
    if (owner == nullptr)
        return;
    juce::Component::SafePointer<juce::Component> top(owner->getTopLevelComponent());
    top->repaint();
    juce::Timer::callAfterDelay(fadeMilliseconds + 50, [top] {
        if (top != nullptr)
            top->repaint();
    });
}
