#include "dialogs/NativeWindow.h"

namespace NativeWindow
{

void raise(juce::Component&)
{
    // Showing and activating a window brings it to the front on Windows.
}

} // namespace NativeWindow
