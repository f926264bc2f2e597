#include "app/PanelViewSettings.h"

#include "base/TIniFile.h"

#include <iterator>

const char* const PanelViewSettings::kZoomKey = "Zoom";
const char* const PanelViewSettings::kOnTopKey = "AlwaysOnTop";

namespace
{
const char* const kSection = "Current";
}

int PanelViewSettings::largerZoom(int percent)
{
    for (const int step : kZoomSteps)
        if (step > percent)
            return step;
    return kZoomSteps[std::size(kZoomSteps) - 1];
}

int PanelViewSettings::smallerZoom(int percent)
{
    int result = kZoomSteps[0];
    for (const int step : kZoomSteps)
        if (step < percent)
            result = step;
    return result;
}

int PanelViewSettings::validZoom(int percent)
{
    for (const int step : kZoomSteps)
        if (step == percent)
            return percent;
    return kDefaultZoom;
}

int PanelViewSettings::zoomFromText(const BString& text)
{
    int value = 0;
    return text.ToInt(0, value) ? validZoom(value) : kDefaultZoom;
}

void PanelViewSettings::load(const TIniFile& settings)
{
    zoomPercent = zoomFromText(settings.ReadString(kSection, kZoomKey, BString()));
    int onTop = 0;
    alwaysOnTop = settings.ReadString(kSection, kOnTopKey, BString()).ToInt(0, onTop) && onTop == 1;
}

void PanelViewSettings::save(TIniFile& settings) const
{
    auto& section = settings.GetSection(kSection);
    section.SetValue(kZoomKey, BString::FromInt(zoomPercent));
    section.SetValue(kOnTopKey, BString::FromInt(alwaysOnTop ? 1 : 0));
}
