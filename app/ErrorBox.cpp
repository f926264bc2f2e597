#include "app/ErrorBox.h"

#include "dialogs/JuceText.h"

void showError(const BString& text)
{
    juce::AlertWindow::showMessageBox(juce::MessageBoxIconType::WarningIcon,
                                      "Vantor LUMO - Error", JuceText::toJuce(text));
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
