// TWndMessageListener: receiver of the messages that reach a hidden window of the message window
// thread (TMessageWindowThread). Both operations run on that thread; a listener that must reach
// the GUI or take long passes the work on itself.
#pragma once

#include <cstdint>

// A window of the message window thread: the window handle on Windows, an opaque registration
// elsewhere. Null means "no window".
using TWindowHandle = void*;

// The system's device-change broadcast (WM_DEVICECHANGE). Delivered on every platform, so that
// a user of the message window thread needs no platform code of its own.
constexpr unsigned int kWmDeviceChange = 0x0219;
// wParam of a device-change message that only says "something in the device tree changed"
// (DBT_DEVNODES_CHANGED); what the Linux service sends.
constexpr std::uintptr_t kDeviceNodesChanged = 0x0007;

class TWndMessageListener
{
public:
    virtual ~TWndMessageListener() = default;

    // The window asked for with this listener exists now (window may be null if it could not
    // be created). On the message window thread.
    virtual void windowCreated(TWindowHandle window);

    // A message reached the window. On the message window thread. *handled is 0 on entry;
    // setting it non-zero means the message is handled and skips the default processing.
    virtual void onWindowMessage(TWindowHandle window, unsigned int message, std::uintptr_t wParam,
                                 std::intptr_t lParam, int* handled) = 0;
};

inline void TWndMessageListener::windowCreated(TWindowHandle /*window*/) {}
