#pragma once

#include "base/BString.h"

class TIniFile;

// How the user wants to see the panel: its zoom (a percentage of the plate's own size, one of a
// few steps) and whether the window stays in front of the others. Stored in the settings file's
// section "Current" as "Zoom" (the percentage) and "AlwaysOnTop" (1 or 0); a value that is
// missing, malformed or not one of the steps means the default (100 %, not on top), silently.
//
// Plain data; any thread, but the panel uses it on the message thread only.
class PanelViewSettings
{
public:
    static constexpr int kZoomSteps[] = { 100, 150, 200, 300, 400 };
    static constexpr int kDefaultZoom = 100;
    static const char* const kZoomKey;       // "Zoom"
    static const char* const kOnTopKey;      // "AlwaysOnTop"

    // The step above (below) `percent`; the largest (smallest) step stays where it is.
    static int largerZoom(int percent);
    static int smallerZoom(int percent);
    // `percent` if it is one of the steps, else the default.
    static int validZoom(int percent);
    // The stored text's zoom: the default unless the text is one of the steps in decimal.
    static int zoomFromText(const BString& text);

    int zoomPercent = kDefaultZoom;
    bool alwaysOnTop = false;

    float scale() const noexcept { return static_cast<float>(zoomPercent) / 100.0f; }

    void load(const TIniFile& settings);
    void save(TIniFile& settings) const;
};
