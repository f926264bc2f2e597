#pragma once

#include "base/BString.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <functional>

// The application's message boxes. They are modal; all but showErrorAsync return when the user
// has closed them. Message thread only.

// The error box of the running program: warning icon, title "Vantor LUMO - Error".
void showError(const BString& text);

// The same box without a nested message loop: returns at once; `closed` runs on the message
// thread when the user has dismissed the box.
void showErrorAsync(const BString& text, std::function<void()> closed);

// The box shown when the program cannot start: title "Fatal Error" and the failure's text.
void showFatalError(const juce::String& failureText);

// The same box without a nested message loop; `closed` runs on the message thread afterwards.
void showFatalErrorAsync(const juce::String& failureText, std::function<void()> closed);

// The message text of the fatal-error box for a failure text.
juce::String fatalErrorMessage(const juce::String& failureText);
