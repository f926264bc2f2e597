#include "app/ErrorBox.h"

#include "dialogs/JuceText.h"

namespace
{
const char* const kErrorTitle = "Vantor LUMO - Error";
}

void showError(const BString& text)
{
    juce::AlertWindow::showMessageBox(juce::MessageBoxIconType::WarningIcon,
                                      kErrorTitle, JuceText::toJuce(text));
}

namespace
{
void showAsync(const juce::String& title, const juce::String& text, std::function<void()> closed)
{
    if (juce::Desktop::getInstance().getDisplays().getPrimaryDisplay() == nullptr)
    {
        // Without a screen there is nobody to tell (the toolkit cannot lay a box out).
        if (closed)
            closed();
        return;
    }
    juce::AlertWindow::showMessageBoxAsync(juce::MessageBoxIconType::WarningIcon, title, text, {}, nullptr,
                                           juce::ModalCallbackFunction::create([closed = std::move(closed)](int) {
                                               if (closed)
                                                   closed();
                                           }));
}
} // namespace

void showErrorAsync(const BString& text, std::function<void()> closed)
{
    showAsync(kErrorTitle, JuceText::toJuce(text), std::move(closed));
}

juce::String fatalErrorMessage(const juce::String& failureText)
{
    return "The following error occured:\n" + failureText + "\nThis program will close now.";
}

void showFatalError(const juce::String& failureText)
{
    juce::AlertWindow::showMessageBox(juce::MessageBoxIconType::WarningIcon,
                                      "Fatal Error", fatalErrorMessage(failureText));
}

void showFatalErrorAsync(const juce::String& failureText, std::function<void()> closed)
{
    showAsync("Fatal Error", fatalErrorMessage(failureText), std::move(closed));
}
