#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <atomic>

// Base of the application's dialog windows: content made on first need, sized around it and
// centred over the owner's window, shown modally with a short fade.
//
// The owner keeps one instance for the whole run and opens it again and again. All window work
// happens on the message thread; setVisible and closeButtonPressed may also be called from other
// threads, which hand the show or hide step over to the message thread (a later request replaces
// an earlier one that has not run yet).
class ABaseDialog : public juce::DialogWindow,
                    public juce::AsyncUpdater
{
public:
    // Message thread. `owner` (not owned, may be null) is the component to centre over. The
    // native window is made each time the dialog is shown and given up when it is hidden.
    // Escape triggers the close button.
    ABaseDialog(const juce::String& title, juce::Component* owner);
    ~ABaseDialog() override;

    // Message thread. Optionally sizes and centres the window, then shows it; when `modal` is set
    // (the default) it runs a modal loop and returns only after the dialog has been hidden.
    // Called again while the dialog is already the current modal component, it only shows it.
    virtual void showDialog(bool sizeAndCentreFirst);

    // Makes (or returns the existing) content component; the window owns what it returns.
    virtual juce::Component* createContentComponent() = 0;
    // Window settings that must precede the content (resizability and the like).
    virtual void setupWindow() = 0;
    virtual int getContentWidth() = 0;
    virtual int getContentHeight() = 0;

    // Sizes the window around the content size and centres it over the owner's top-level window
    // (never at negative coordinates), or on the main display when the owner has no size.
    void sizeAndCentre();

    // Any thread. Showing creates the content on first use; showing and hiding fade.
    void setVisible(bool shouldBeVisible) override;

    // Any thread; also Escape, "OK" and "Cancel": fades the window out, hides it and ends the
    // modal loop of showDialog.
    void closeButtonPressed() override;

    void handleAsyncUpdate() override;

    void setModal(bool shouldBeModal) noexcept { modal = shouldBeModal; }
    bool isModal() const noexcept { return modal; }

    ABaseDialog(const ABaseDialog&) = delete;
    ABaseDialog& operator=(const ABaseDialog&) = delete;

protected:
    static constexpr int fadeMilliseconds = 100;

private:
    enum Request { noRequest = 0, showRequest = 1, hideRequest = 2 };

    // True when the step must be handed to the message thread (and has been).
    bool handOver(Request request);
    void showStep();
    void hideStep();
    void makeNativeWindow();
    void repaintOwnerWindow();

    bool modal = true;
    bool inTransition = false;
    juce::Component* owner;                 // not owned
    std::atomic<int> pendingRequest { noRequest };
};
