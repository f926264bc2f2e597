// The portable part of the platform calls.
#include "app/AppPlatform.h"

namespace AppPlatform
{
bool setRoundedWindowShape(juce::Component& window, int corner)
{
    auto* peer = window.getPeer();
    if (peer == nullptr || peer->getNativeHandle() == nullptr)
        return false;
    // Physical pixels: on a scaled display the shape must cover the scaled window, and the
    // picture's corners scale with it.
    const double scale = peer->getPlatformScaleFactor() * window.getDesktopScaleFactor();
    const int w = static_cast<int>(window.getWidth() * scale);
    const int h = static_cast<int>(window.getHeight() * scale);
    return shapeNativeWindow(peer->getNativeHandle(), w + 1, h + 1, static_cast<int>(corner * scale));
}
} // namespace AppPlatform
