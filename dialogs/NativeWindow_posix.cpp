#include "dialogs/NativeWindow.h"

#include <cstdint>

namespace
{
// After the X11 headers, whose macros clash with toolkit names.
void raiseX11Window(unsigned long window);
}

namespace NativeWindow
{

void raise(juce::Component& window)
{
    auto* peer = window.getPeer();
    if (peer == nullptr || peer->getNativeHandle() == nullptr)
        return;
    raiseX11Window(static_cast<unsigned long>(reinterpret_cast<std::uintptr_t>(peer->getNativeHandle())));
}

} // namespace NativeWindow

#include <X11/Xlib.h>

namespace
{

void raiseX11Window(unsigned long window)
{
    // A connection of our own: stacking belongs to the server, not to a client connection.
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr)
        return;
    XRaiseWindow(display, static_cast<Window>(window));
    XSync(display, False);
    XCloseDisplay(display);
}

} // namespace
