#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

class TIniFile;

// The main window's position in the settings file: "MainLeft" and "MainTop" in section "Current".
// Message thread only; the settings file is loaded (and saved) by the caller.

// Places the top-level window of `component` at the stored position, as long as at least a third
// of its width (height) lies on the first display on that axis; an edge beyond that is pushed
// flush against the display's edge, and an axis without a valid stored value is centred. A
// negative `width` or `height` keeps the window's current one.
void restoreWindowPosition(juce::Component& component, const TIniFile& settings, int width, int height);

// Stores the top-level window's x and y.
void saveWindowPosition(juce::Component& component, TIniFile& settings);

// The area of the first display known to the toolkit, task bar included; 1024 x 768 at the
// origin when the toolkit knows no display (no screen attached).
juce::Rectangle<int> firstDisplayArea();

// The placement rule along one axis: a stored coordinate (or `absent`), the window's extent and
// the display's start and extent give the window's coordinate.
int placeOnAxis(int stored, bool absent, int extent, int displayStart, int displayExtent);

// `window` moved the least distance that puts it inside `area` (unchanged when it fits already);
// a window larger than the area on an axis is aligned with the area's start on that axis.
juce::Rectangle<int> keepWithinArea(juce::Rectangle<int> window, juce::Rectangle<int> area);

// The work area (task bars excluded) of the display that shows most of `window`; the first
// display's area when the toolkit knows none for it.
juce::Rectangle<int> workAreaFor(juce::Rectangle<int> window);
