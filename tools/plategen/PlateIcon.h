#pragma once

#include <juce_core/juce_core.h>
#include <juce_graphics/juce_graphics.h>

// The program icon: the plate's eye emblem on a small red plate.
class PlateIcon
{
public:
    // Draws the icon at size x size pixels (ARGB, transparent outside the rounded plate).
    static juce::Image draw(int size);

    // Writes a Windows .ico file holding the icon at 16, 24, 32, 48 and 256 pixels, each stored
    // as PNG (accepted by Windows Vista and later and by windres). Returns false if the file
    // could not be written.
    static bool writeIco(const juce::File& file);

    // The sizes of the icon theme's fixed-size folders the program installs into on Linux.
    static const juce::Array<int>& themeSizes();

    // Writes the icon as <folder>/<size>x<size>/apps/<name>.png for every theme size. Returns
    // false if a file could not be written.
    static bool writeThemeIcons(const juce::File& folder, const juce::String& name);
};
