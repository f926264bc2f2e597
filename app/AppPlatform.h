#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <memory>

// The few things the application asks of the operating system directly. Each platform has its own
// implementation file (AppPlatform_win32.cpp, AppPlatform_posix.cpp). Message thread only.
namespace AppPlatform
{
    // The picture stored in the program's resources under `fileName` ("background.png": a
    // resource named BACKGROUND of type PNG on Windows, the embedded file of that name elsewhere),
    // decoded; null when it is missing or cannot be decoded. The caller owns the result.
    std::unique_ptr<juce::Drawable> loadImageResource(const juce::String& fileName);

    // Gives the native window of `window` the shape of a rounded rectangle from (0, 0) to
    // (w + 1, h + 1) with corner ellipses of `corner` x `corner` logical pixels, w and h being the
    // window's size in physical pixels (the corner is scaled to physical pixels as well).
    // Returns false when the window has no native window or the system cannot shape it; the
    // window then stays rectangular.
    bool setRoundedWindowShape(juce::Component& window, int corner);
    // The system's part of it: shapes the native window `handle` to a rounded rectangle of
    // width x height physical pixels with corner ellipses of `corner` physical pixels.
    bool shapeNativeWindow(void* handle, int width, int height, int corner);

    // True when a font family of exactly this face name (letter case aside) is installed.
    bool isFontFaceInstalled(const juce::String& faceName);

    // True on systems whose text rendering places the display lines one pixel lower (Windows 8
    // and later, and every system that is not Windows).
    bool hasModernTextMetrics();

    // Makes sure that repaints of the program's windows reach the screen even where the system
    // reports no vertical blank (on Windows the toolkit hands repaints over only at the display's
    // vertical blank, which Wine on a virtual display and some remote sessions never report).
    // Does nothing where the toolkit needs no help. Once, at start.
    void keepRepaintsFlowing();
}
