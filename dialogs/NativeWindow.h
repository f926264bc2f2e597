#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

// Window-system services the toolkit leaves to a window manager. Message thread only.
namespace NativeWindow
{
    // Puts the native window of `window` on top of its siblings. The toolkit only asks the
    // window manager to do so; without one (kiosk sessions, virtual displays) a dialog opened
    // after its owner would stay hidden behind it. Does nothing when the window has no native
    // window or the system raises windows by itself.
    void raise(juce::Component& window);
}
